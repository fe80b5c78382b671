#include "AutomationServer.h"

#include "platform/DispatcherAutomation.h"

TAutomationServer::TAutomationServer() : Events_(new TEvents(this)) {}

void TAutomationServer::SetFleet(TStandinFleet fleet) {
  Fleet_ = std::move(fleet);
  Group_ = 0;
  Car_ = 0;
}

bool TAutomationServer::Register(QDBusConnection bus) {
  return bus.registerObject(QString::fromLatin1(TDispatcherAutomation::kObjectPath), this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAdaptors) &&
         bus.registerService(QString::fromLatin1(TDispatcherAutomation::kServiceName));
}

void TAutomationServer::Emit(int dispId) {
  emit Events_->Invoke(dispId);
}

const TStandinGroup* TAutomationServer::CurrentGroup() {
  if (Group_ == 0) {
    sendErrorReply(QString::fromLatin1(kErrorNothingSelected), QStringLiteral("no group selected"));
    return nullptr;
  }
  return &Fleet_[Group_ - 1];
}

const TStandinCar* TAutomationServer::CurrentCar() {
  if (Car_ == 0) {
    sendErrorReply(QString::fromLatin1(kErrorNothingSelected),
                   QStringLiteral("no vehicle selected"));
    return nullptr;
  }
  return &Fleet_[Group_ - 1].Cars[Car_ - 1];
}

int TAutomationServer::get_GroupsNum() {
  return static_cast<int>(Fleet_.size());
}

void TAutomationServer::SelectGroup(int group) {
  Car_ = 0;
  if (group < 1 || group > static_cast<int>(Fleet_.size())) {
    Group_ = 0;
    sendErrorReply(QString::fromLatin1(kErrorOutOfRange),
                   QStringLiteral("group %1 is not in 1..%2").arg(group).arg(Fleet_.size()));
    return;
  }
  Group_ = group;
}

int TAutomationServer::get_GroupCarsNum() {
  const TStandinGroup* group = CurrentGroup();
  return group != nullptr ? static_cast<int>(group->Cars.size()) : 0;
}

void TAutomationServer::SelectCar(int car) {
  const TStandinGroup* group = CurrentGroup();
  Car_ = 0;
  if (group == nullptr) return;
  if (car < 1 || car > static_cast<int>(group->Cars.size())) {
    sendErrorReply(QString::fromLatin1(kErrorOutOfRange),
                   QStringLiteral("vehicle %1 is not in 1..%2 of group %3")
                       .arg(car)
                       .arg(group->Cars.size())
                       .arg(Group_));
    return;
  }
  Car_ = car;
}

QString TAutomationServer::get_GroupName() {
  const TStandinGroup* group = CurrentGroup();
  return group != nullptr ? group->Name : QString();
}

int TAutomationServer::get_CarDevice() {
  const TStandinCar* car = CurrentCar();
  return car != nullptr ? car->Device : 0;
}

QString TAutomationServer::get_CarModel() {
  const TStandinCar* car = CurrentCar();
  return car != nullptr ? car->Model : QString();
}

QString TAutomationServer::get_CarAlias() {
  const TStandinCar* car = CurrentCar();
  return car != nullptr ? car->Alias : QString();
}

QString TAutomationServer::get_CarTelNum() {
  const TStandinCar* car = CurrentCar();
  return car != nullptr ? car->Phone : QString();
}

QString TAutomationServer::get_CarHandle() {
  const TStandinCar* car = CurrentCar();
  return car != nullptr ? car->Handle : QString();
}

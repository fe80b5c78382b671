#include "AutomationServer.h"

#include "platform/DispatcherAutomation.h"

TAutomationServer::TAutomationServer() : Events(new TEvents(this)) {}

void TAutomationServer::SetFleet(TStandinFleet fleet) {
  Fleet = std::move(fleet);
  Group = 0;
  Car = 0;
}

bool TAutomationServer::Register(QDBusConnection bus) {
  return bus.registerObject(QString::fromLatin1(TDispatcherAutomation::kObjectPath), this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAdaptors) &&
         bus.registerService(QString::fromLatin1(TDispatcherAutomation::kServiceName));
}

void TAutomationServer::Emit(int dispId) {
  emit Events->Invoke(dispId);
}

namespace {

const char* const kOperations[] = {"get_GroupsNum", "SelectGroup",   "get_GroupCarsNum", "SelectCar",
                                   "get_GroupName", "get_CarDevice", "get_CarModel",     "get_CarAlias",
                                   "get_CarTelNum", "get_CarHandle"};

bool IsOperation(const QString& name) {
  for (const char* operation : kOperations)
    if (name == QLatin1String(operation)) return true;
  return false;
}

}  // namespace

bool TAutomationServer::FailCall(const QString& operation, int n) {
  if (!IsOperation(operation) || n < 0) return false;
  TCallPlan& plan = Plans[operation];
  plan.Calls = 0;
  plan.FailAt = n;
  return true;
}

bool TAutomationServer::EventInCall(const QString& operation, int n, int dispId) {
  if (!IsOperation(operation) || n < 0) return false;
  TCallPlan& plan = Plans[operation];
  plan.Calls = 0;
  plan.EventAt = n;
  plan.EventId = dispId;
  return true;
}

bool TAutomationServer::Enter(const char* operation) {
  auto it = Plans.find(QLatin1String(operation));
  if (it == Plans.end()) return true;
  TCallPlan& plan = it->second;
  ++plan.Calls;
  if (plan.Calls == plan.EventAt) {
    plan.EventAt = 0;
    Emit(plan.EventId);
  }
  if (plan.Calls == plan.FailAt) {
    plan.FailAt = 0;
    sendErrorReply(QString::fromLatin1(kErrorFailed),
                   QStringLiteral("%1 fails as told").arg(QLatin1String(operation)));
    return false;
  }
  return true;
}

void TAutomationServer::Lie(int groups, int cars) {
  LieGroups = groups < 0 || cars < 0 ? -1 : groups;
  LieCars = groups < 0 || cars < 0 ? -1 : cars;
  Group = 0;
  Car = 0;
}

int TAutomationServer::GroupCount() const {
  return LieGroups >= 0 ? LieGroups : static_cast<int>(Fleet.size());
}

int TAutomationServer::CarCount(int group) const {
  if (LieCars >= 0) return LieCars;
  return group <= static_cast<int>(Fleet.size()) ? static_cast<int>(Fleet[group - 1].Cars.size()) : 0;
}

const TStandinGroup* TAutomationServer::CurrentGroup() {
  if (Group == 0) {
    sendErrorReply(QString::fromLatin1(kErrorNothingSelected), QStringLiteral("no group selected"));
    return nullptr;
  }
  if (Group <= static_cast<int>(Fleet.size())) return &Fleet[Group - 1];
  MadeUpGroup.Name = QStringLiteral("Группа %1").arg(Group);
  return &MadeUpGroup;
}

const TStandinCar* TAutomationServer::CurrentCar() {
  if (Car == 0) {
    sendErrorReply(QString::fromLatin1(kErrorNothingSelected),
                   QStringLiteral("no vehicle selected"));
    return nullptr;
  }
  const TStandinGroup* group = Group <= static_cast<int>(Fleet.size()) ? &Fleet[Group - 1] : nullptr;
  if (group != nullptr && Car <= static_cast<int>(group->Cars.size())) return &group->Cars[Car - 1];
  MadeUpCar = {Car, QStringLiteral("Машина %1").arg(Car), QString(),
                QStringLiteral("+7900%1").arg(Car % 10000000, 7, 10, QLatin1Char('0')), QString()};
  return &MadeUpCar;
}

int TAutomationServer::get_GroupsNum() {
  if (!Enter("get_GroupsNum")) return 0;
  return GroupCount();
}

void TAutomationServer::SelectGroup(int group) {
  if (!Enter("SelectGroup")) return;
  Car = 0;
  if (group < 1 || group > GroupCount()) {
    Group = 0;
    sendErrorReply(QString::fromLatin1(kErrorOutOfRange),
                   QStringLiteral("group %1 is not in 1..%2").arg(group).arg(GroupCount()));
    return;
  }
  Group = group;
}

int TAutomationServer::get_GroupCarsNum() {
  if (!Enter("get_GroupCarsNum")) return 0;
  return CurrentGroup() != nullptr ? CarCount(Group) : 0;
}

void TAutomationServer::SelectCar(int car) {
  if (!Enter("SelectCar")) return;
  const TStandinGroup* group = CurrentGroup();
  Car = 0;
  if (group == nullptr) return;
  if (car < 1 || car > CarCount(Group)) {
    sendErrorReply(QString::fromLatin1(kErrorOutOfRange),
                   QStringLiteral("vehicle %1 is not in 1..%2 of group %3")
                       .arg(car)
                       .arg(CarCount(Group))
                       .arg(Group));
    return;
  }
  Car = car;
}

QString TAutomationServer::get_GroupName() {
  if (!Enter("get_GroupName")) return QString();
  const TStandinGroup* group = CurrentGroup();
  return group != nullptr ? group->Name : QString();
}

int TAutomationServer::get_CarDevice() {
  if (!Enter("get_CarDevice")) return 0;
  const TStandinCar* car = CurrentCar();
  return car != nullptr ? car->Device : 0;
}

QString TAutomationServer::get_CarModel() {
  if (!Enter("get_CarModel")) return QString();
  const TStandinCar* car = CurrentCar();
  return car != nullptr ? car->Model : QString();
}

QString TAutomationServer::get_CarAlias() {
  if (!Enter("get_CarAlias")) return QString();
  const TStandinCar* car = CurrentCar();
  return car != nullptr ? car->Alias : QString();
}

QString TAutomationServer::get_CarTelNum() {
  if (!Enter("get_CarTelNum")) return QString();
  const TStandinCar* car = CurrentCar();
  return car != nullptr ? car->Phone : QString();
}

QString TAutomationServer::get_CarHandle() {
  if (!Enter("get_CarHandle")) return QString();
  const TStandinCar* car = CurrentCar();
  return car != nullptr ? car->Handle : QString();
}

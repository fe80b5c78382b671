#include "shell/DispatcherFleet.h"

#include "common/Text.h"
#include "platform/DispatcherAutomation.h"

#include <QDebug>

#include <optional>

void TMyEvents::Connect(TDispatcherAutomation* source) {
  if (Source != nullptr) Disconnect();
  Source = source;
  if (Source == nullptr) return;
  // A refused subscription leaves the source held: the link stands, without events.
  Source->Advise([this](int32_t dispId) { Invoke(dispId); });
}

void TMyEvents::Disconnect() {
  if (Source == nullptr) return;
  Source->Unadvise();
  Source = nullptr;
}

void TMyEvents::Invoke(int32_t dispId) {
  // The event runs inside a handler of the link object: an unlink must not free it there.
  const bool outer = Owner.InEvent;
  Owner.InEvent = true;
  if (dispId == TDispatcherAutomation::kEventFleetChanged)
    Owner.ReloadFleet();
  else if (dispId == TDispatcherAutomation::kEventLinkEnds)
    Owner.DisconnectDispatcher();
  Owner.InEvent = outer;
}

TDispatcherFleet::TDispatcherFleet(TFleet& fleet, std::function<void()> fleetReplaced, QDBusConnection bus)
    : Events(*this), Fleet(fleet), FleetReplaced(std::move(fleetReplaced)), Bus(std::move(bus)) {}

TDispatcherFleet::~TDispatcherFleet() {
  Events.Disconnect();
  Dispatcher.reset();
}

bool TDispatcherFleet::ConnectDispatcher() {
  if (Dispatcher) return false;
  auto dispatcher = std::make_unique<TDispatcherAutomation>(Bus);
  if (!dispatcher->Connect()) return false;
  Dispatcher = std::move(dispatcher);
  Events.Connect(Dispatcher.get());
  return true;
}

void TDispatcherFleet::DisconnectDispatcher() {
  if (!Dispatcher) return;
  if (Loading) {
    // The load in progress still uses the link; it ends the link when it is done.
    UnlinkAsked = true;
    return;
  }
  Unlink();
}

void TDispatcherFleet::Unlink() {
  Events.Disconnect();
  Dispatcher->Disconnect();
  // Event 203 arrives inside a handler of the link object itself: it goes once that returns.
  if (InEvent)
    Dispatcher.release()->deleteLater();
  else
    Dispatcher.reset();
}

void TDispatcherFleet::LoadFleet() { Load(); }

void TDispatcherFleet::ReloadFleet() {
  if (Loading) {
    // An event in the middle of a load: the fleet is read once more after it.
    ReloadAsked = true;
    return;
  }
  if (!Dispatcher) {
    FreeFleet();
    return;
  }
  Load();
}

void TDispatcherFleet::FreeFleet() {
  TFleet old;
  old.swap(Fleet);
  if (FleetReplaced) FleetReplaced();
}

void TDispatcherFleet::Load() {
  if (!Dispatcher || Loading) return;
  Loading = true;
  do {
    ReloadAsked = false;
    TFleet fresh;
    if (ReadFleet(fresh)) {
      LoadError.clear();
    } else {
      // The monitor runs in the tray: a fleet cut short is not worth a message box, the send
      // window offers what was read.
      qWarning("The dispatcher's fleet was read only in part: %s", qPrintable(LoadError));
    }
    // The old entries go only after whatever shows them was refilled from the new ones.
    Fleet.swap(fresh);
    if (FleetReplaced) FleetReplaced();
  } while (ReloadAsked && !UnlinkAsked);
  Loading = false;
  ReloadAsked = false;
  if (UnlinkAsked) {
    UnlinkAsked = false;
    if (Dispatcher) Unlink();
  }
}

bool TDispatcherFleet::ReadFleet(TFleet& fleet) {
  TDispatcherAutomation& d = *Dispatcher;
  int32_t groups = 0;
  if (!d.get_GroupsNum(groups)) {
    LoadError = d.LastError();
    return false;
  }
  for (int32_t g = 1; g <= groups; ++g) {
    if (!ReadGroup(g, fleet)) {
      LoadError = d.LastError();
      return false;
    }
  }
  return true;
}

// The calls of a group go out together and their answers are taken in order: the group's
// three calls, then for each vehicle its selection and alias with the rest of the vehicle
// before it. A model is asked only after an empty alias, so each vehicle waits for its alias
// once; the dispatcher answers every getter for the vehicle selected just before it.
bool TDispatcherFleet::ReadGroup(int32_t index, TFleet& fleet) {
  TDispatcherAutomation& d = *Dispatcher;
  const QDBusPendingCall select = d.Send("SelectGroup", {QVariant::fromValue(static_cast<int>(index))});
  const QDBusPendingCall nameCall = d.Send("get_GroupName");
  const QDBusPendingCall countCall = d.Send("get_GroupCarsNum");
  d.Wait(countCall);
  d.TakeVoid(select, "SelectGroup");  // a failed selection shows in the getters after it
  QString name;
  if (!d.TakeText(nameCall, "get_GroupName", name)) return false;
  auto group = std::make_unique<TGroupEntry>();
  group->Name = Cp1251FromQString(name);
  group->Index = index;
  TGroupEntry& entry = *group;
  fleet.push_back(std::move(group));
  int32_t cars = 0;
  if (!d.TakeInt(countCall, "get_GroupCarsNum", cars)) return false;

  auto selectCar = [&d](int32_t car) { return d.Send("SelectCar", {QVariant::fromValue(static_cast<int>(car))}); };
  if (cars < 1) return true;
  QDBusPendingCall carSelect = selectCar(1);
  QDBusPendingCall aliasCall = d.Send("get_CarAlias");
  for (int32_t c = 1; c <= cars; ++c) {
    d.TakeVoid(carSelect, "SelectCar");
    QString aliasOrModel;
    if (!d.TakeText(aliasCall, "get_CarAlias", aliasOrModel)) return false;
    const bool needModel = aliasOrModel.isEmpty();
    std::optional<QDBusPendingCall> modelCall;
    if (needModel) modelCall = d.Send("get_CarModel");
    const QDBusPendingCall handleCall = d.Send("get_CarHandle");
    const QDBusPendingCall phoneCall = d.Send("get_CarTelNum");
    const QDBusPendingCall deviceCall = d.Send("get_CarDevice");
    if (c < cars) {
      carSelect = selectCar(c + 1);
      aliasCall = d.Send("get_CarAlias");
    }
    d.Wait(c < cars ? aliasCall : deviceCall);
    QString handle;
    QString phone;
    int32_t device = 0;
    if (needModel && !d.TakeText(*modelCall, "get_CarModel", aliasOrModel)) return false;
    if (!d.TakeText(handleCall, "get_CarHandle", handle)) return false;
    if (!d.TakeText(phoneCall, "get_CarTelNum", phone)) return false;
    if (!d.TakeInt(deviceCall, "get_CarDevice", device)) return false;
    entry.Cars.push_back(MakeCarEntry(device, aliasOrModel, phone, handle));
  }
  return true;
}

#include "shell/DispatcherFleet.h"

#include "common/Text.h"
#include "platform/DBusCall.h"
#include "platform/DispatcherAutomation.h"

#include <QDBusMessage>
#include <QDebug>
#include <QTimer>

#include <algorithm>

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

namespace {

// A call slot with no call in it yet.
QDBusPendingCall NoCall() { return QDBusPendingCall::fromCompletedCall(QDBusMessage()); }

}  // namespace

// The load in progress: the fleet read so far and where the reading stands.
struct TDispatcherFleet::TLoad {
  TFleet Fresh;
  int32_t Groups = 0;  // the groups to read
  int32_t Group = 0;   // the group being read, 1-based
  int32_t Cars = 0;    // the vehicles to read in that group
  int32_t Car = 0;     // the vehicle being read, 1-based
  int32_t CarsRead = 0;
  QString Cut;  // why the load reads less than the dispatcher reports
  // The calls of the step in flight.
  QDBusPendingCall Select = NoCall();
  QDBusPendingCall Name = NoCall();
  QDBusPendingCall Count = NoCall();
  QDBusPendingCall Alias = NoCall();
  QDBusPendingCall Model = NoCall();
  QDBusPendingCall Handle = NoCall();
  QDBusPendingCall Phone = NoCall();
  QDBusPendingCall Device = NoCall();
  QDBusPendingCall NextSelect = NoCall();
  QDBusPendingCall NextAlias = NoCall();
  QString AliasOrModel;  // of the vehicle being read
  bool NeedModel = false;
};

TDispatcherFleet::TDispatcherFleet(TFleet& fleet, std::function<void()> fleetReplaced, QDBusConnection bus)
    : Events(*this), Fleet(fleet), FleetReplaced(std::move(fleetReplaced)), Bus(std::move(bus)) {}

TDispatcherFleet::~TDispatcherFleet() {
  Waits.reset();
  Events.Disconnect();
  Dispatcher.reset();
}

bool TDispatcherFleet::ConnectDispatcher() {
  if (Dispatcher || Candidate) return false;
  auto dispatcher = std::make_unique<TDispatcherAutomation>(Bus);
  if (!dispatcher->Connect()) return false;
  Dispatcher = std::move(dispatcher);
  Events.Connect(Dispatcher.get());
  return true;
}

void TDispatcherFleet::LinkAtStart(bool keepLink) {
  if (Dispatcher || Candidate) return;
  Loading = true;
  Candidate = std::make_unique<TDispatcherAutomation>(Bus);
  Candidate->BeginConnect([this, keepLink](bool linked) {
    if (!linked) {
      // No dispatcher: no link, an empty fleet, no message. The object goes once its own
      // handler has returned.
      Candidate.release()->deleteLater();
      Loading = false;
      return;
    }
    Dispatcher = std::move(Candidate);
    // Still loading: an event that comes while the subscription is made waits for this load.
    Events.Connect(Dispatcher.get());
    StartLoad();
    // A dispatcher started for the monitor is let go once its fleet is read.
    if (!keepLink) DisconnectDispatcher();
  });
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

void TDispatcherFleet::LoadFleet() {
  if (!Dispatcher) return;
  if (Loading) {
    ReloadAsked = true;
    return;
  }
  StartLoad();
}

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
  StartLoad();
}

void TDispatcherFleet::FreeFleet() {
  TFleet old;
  old.swap(Fleet);
  if (FleetReplaced) FleetReplaced();
}

namespace {

// The last of the calls that has no answer yet, or calls.rend().
std::vector<QDBusPendingCall>::const_reverse_iterator LastUnanswered(const std::vector<QDBusPendingCall>& calls) {
  return std::find_if(calls.rbegin(), calls.rend(), [](const QDBusPendingCall& call) { return !call.isFinished(); });
}

}  // namespace

void TDispatcherFleet::Await(std::vector<QDBusPendingCall> calls, void (TDispatcherFleet::*next)()) {
  // The dispatcher answers the calls of the link in the order they went out: the wait is for
  // the last one that has no answer yet, after which the others normally have theirs too.
  const auto pending = LastUnanswered(calls);
  if (pending == calls.rend()) {
    // All in already: the next step runs from the event loop all the same, never from inside
    // this one.
    QTimer::singleShot(0, Waits.get(), [this, next] { (this->*next)(); });
    return;
  }
  WhenCallFinished(*pending, TDispatcherAutomation::kCallTimeoutMs, Waits.get(),
                   [this, calls = std::move(calls), next](bool finished) mutable {
                     if (!finished) {
                       LoadError = QStringLiteral("the dispatcher did not answer within %1 ms")
                                       .arg(TDispatcherAutomation::kCallTimeoutMs);
                       FinishLoad(false);
                     } else if (LastUnanswered(calls) == calls.rend()) {
                       (this->*next)();
                     } else {
                       Await(std::move(calls), next);
                     }
                   });
}

void TDispatcherFleet::StartLoad() {
  Loading = true;
  ReloadAsked = false;
  LoadError.clear();
  Load = std::make_unique<TLoad>();
  Load->Count = Dispatcher->Send("get_GroupsNum");
  Await({Load->Count}, &TDispatcherFleet::TakeGroupsNum);
}

void TDispatcherFleet::TakeGroupsNum() {
  int32_t groups = 0;
  if (!Dispatcher->TakeInt(Load->Count, "get_GroupsNum", groups)) return FinishLoad(false);
  if (groups > Bounds.Groups) {
    Load->Cut = QStringLiteral("the dispatcher reports %1 groups, more than the %2 that are read")
                    .arg(groups)
                    .arg(Bounds.Groups);
    groups = Bounds.Groups;
  }
  Load->Groups = groups;
  SendGroup();
}

// The calls of a group go out together and their answers are taken in order: the group's
// three calls, then for each vehicle its selection and alias with the rest of the vehicle
// before it. A model is asked only after an empty alias, so each vehicle waits for its alias
// once; the dispatcher answers every getter for the vehicle selected just before it.
void TDispatcherFleet::SendGroup() {
  TLoad& load = *Load;
  if (++load.Group > load.Groups) return FinishLoad(true);
  load.Select = Dispatcher->Send("SelectGroup", {QVariant::fromValue(static_cast<int>(load.Group))});
  load.Name = Dispatcher->Send("get_GroupName");
  load.Count = Dispatcher->Send("get_GroupCarsNum");
  Await({load.Select, load.Name, load.Count}, &TDispatcherFleet::TakeGroup);
}

void TDispatcherFleet::TakeGroup() {
  TLoad& load = *Load;
  TDispatcherAutomation& d = *Dispatcher;
  d.TakeVoid(load.Select, "SelectGroup");  // a failed selection shows in the getters after it
  QString name;
  if (!d.TakeText(load.Name, "get_GroupName", name)) return FinishLoad(false);
  auto group = std::make_unique<TGroupEntry>();
  group->Name = Cp1251FromQString(name.left(kMaxText));
  group->Index = load.Group;
  load.Fresh.push_back(std::move(group));
  int32_t cars = 0;
  if (!d.TakeInt(load.Count, "get_GroupCarsNum", cars)) return FinishLoad(false);
  const int32_t room = Bounds.Cars - load.CarsRead;
  if (cars > room) {
    load.Cut = QStringLiteral("the dispatcher reports %1 vehicles in group %2, more than the %3 of the whole "
                              "fleet that are read")
                   .arg(cars)
                   .arg(load.Group)
                   .arg(Bounds.Cars);
    cars = room;
    // The groups after this one are not read either.
    load.Groups = load.Group;
  }
  load.Cars = cars;
  if (cars < 1) return SendGroup();
  load.Car = 1;
  load.Select = d.Send("SelectCar", {QVariant::fromValue(1)});
  load.Alias = d.Send("get_CarAlias");
  Await({load.Select, load.Alias}, &TDispatcherFleet::SendRestOfCar);
}

void TDispatcherFleet::SendRestOfCar() {
  TLoad& load = *Load;
  TDispatcherAutomation& d = *Dispatcher;
  d.TakeVoid(load.Select, "SelectCar");
  load.AliasOrModel.clear();
  if (!d.TakeText(load.Alias, "get_CarAlias", load.AliasOrModel)) return FinishLoad(false);
  load.NeedModel = load.AliasOrModel.isEmpty();
  std::vector<QDBusPendingCall> calls;
  if (load.NeedModel) calls.push_back(load.Model = d.Send("get_CarModel"));
  calls.push_back(load.Handle = d.Send("get_CarHandle"));
  calls.push_back(load.Phone = d.Send("get_CarTelNum"));
  calls.push_back(load.Device = d.Send("get_CarDevice"));
  if (load.Car < load.Cars) {
    calls.push_back(load.NextSelect = d.Send("SelectCar", {QVariant::fromValue(static_cast<int>(load.Car + 1))}));
    calls.push_back(load.NextAlias = d.Send("get_CarAlias"));
  }
  Await(std::move(calls), &TDispatcherFleet::TakeCar);
}

void TDispatcherFleet::TakeCar() {
  TLoad& load = *Load;
  TDispatcherAutomation& d = *Dispatcher;
  QString handle;
  QString phone;
  int32_t device = 0;
  if (load.NeedModel && !d.TakeText(load.Model, "get_CarModel", load.AliasOrModel)) return FinishLoad(false);
  if (!d.TakeText(load.Handle, "get_CarHandle", handle)) return FinishLoad(false);
  if (!d.TakeText(load.Phone, "get_CarTelNum", phone)) return FinishLoad(false);
  if (!d.TakeInt(load.Device, "get_CarDevice", device)) return FinishLoad(false);
  load.Fresh.back()->Cars.push_back(
      MakeCarEntry(device, load.AliasOrModel.left(kMaxText), phone.left(kMaxText), handle));
  ++load.CarsRead;
  if (load.Car < load.Cars) {
    // The next vehicle's selection and alias came with this one's answers.
    ++load.Car;
    load.Select = load.NextSelect;
    load.Alias = load.NextAlias;
    return SendRestOfCar();
  }
  SendGroup();
}

void TDispatcherFleet::FinishLoad(bool whole) {
  std::unique_ptr<TLoad> load = std::move(Load);
  if (!whole && LoadError.isEmpty()) LoadError = Dispatcher->LastError();
  if (whole) LoadError = load->Cut;
  // The monitor runs in the tray: a fleet cut short is not worth a message box, the send window
  // offers what was read.
  if (!LoadError.isEmpty()) qWarning("The dispatcher's fleet was read only in part: %s", qPrintable(LoadError));
  // The old entries go only after whatever shows them was refilled from the new ones.
  Fleet.swap(load->Fresh);
  if (FleetReplaced) FleetReplaced();
  load.reset();
  Loading = false;
  if (UnlinkAsked) {
    UnlinkAsked = false;
    ReloadAsked = false;
    if (Dispatcher) Unlink();
  } else if (ReloadAsked) {
    StartLoad();
  }
}

#pragma once
// The monitor's automation link with the dispatcher program and the fleet it reads over it:
// the vehicle groups and vehicles that the send window offers as targets.
//
// The link is made once, at start; the dispatcher's event 201 (its group list changed) reads
// the fleet again, event 203 ends the link for the rest of the run. Nothing here waits for the
// dispatcher: the link of the start and every load go on in the background, step by step from
// the event loop, so that neither the start nor the monitor's windows wait for a fleet however
// large, or for a dispatcher that lies about it. A load goes into a list of its own, which
// replaces the fleet in one step together with the refill of the send window; one load runs at
// a time, and events that came meanwhile are acted on once it is done (any number of 201 give
// one more load, which reads what the last one announced).
//
// A load reads at most Bounds.Groups groups and Bounds.Cars vehicles in all, and texts of at
// most kMaxText characters: beyond, it ends with what came, and the warning output says so.

#include "seam/Fleet.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class TDispatcherAutomation;
class TDispatcherFleet;

// The sink of the dispatcher's events while the link is advised.
class TMyEvents {
public:
  explicit TMyEvents(TDispatcherFleet& owner) : Owner(owner) {}
  ~TMyEvents() { Disconnect(); }
  TMyEvents(const TMyEvents&) = delete;
  TMyEvents& operator=(const TMyEvents&) = delete;

  // Subscribes to the events of `source` (a source held before is let go first). A failed
  // subscription keeps the source: the link then counts as made and hears no events.
  void Connect(TDispatcherAutomation* source);
  void Disconnect();
  // One event: 201 reloads the fleet, 203 ends the link; other ids do nothing.
  void Invoke(int32_t dispId);

  TDispatcherAutomation* Source = nullptr;

private:
  TDispatcherFleet& Owner;
};

class TDispatcherFleet {
public:
  static constexpr int32_t kMaxGroups = 10000;
  static constexpr int32_t kMaxCars = 100000;
  // Names, captions and phone numbers are cut to this many characters.
  static constexpr int kMaxText = 256;
  struct TBounds {
    int32_t Groups = kMaxGroups;
    int32_t Cars = kMaxCars;  // in the whole fleet
  };

  // `fleet` is the list the monitor shows (the main form's); `fleetReplaced` runs right after
  // every load has replaced it, to refill what shows it. The link goes over `bus`.
  TDispatcherFleet(TFleet& fleet, std::function<void()> fleetReplaced,
                   QDBusConnection bus = QDBusConnection::sessionBus());
  ~TDispatcherFleet();
  TDispatcherFleet(const TDispatcherFleet&) = delete;
  TDispatcherFleet& operator=(const TDispatcherFleet&) = delete;

  // Links to the dispatcher (the bus starts it when it does not run) and subscribes to its
  // events. False when linked already or when there is no dispatcher; nothing is shown.
  bool ConnectDispatcher();
  void DisconnectDispatcher();
  bool IsLinked() const { return Dispatcher != nullptr; }

  // The link of the start, in the background: links as ConnectDispatcher does, reads the fleet
  // once and then keeps the link only when `keepLink` (a dispatcher the user runs). Returns at
  // once.
  void LinkAtStart(bool keepLink);

  // Starts reading the fleet from the dispatcher and returns at once: nothing without a link;
  // while a load runs, one more follows it. A failing getter ends the load; what was read
  // until then becomes the fleet, and LastLoadError() tells why.
  void LoadFleet();
  // The same for event 201; without a link the fleet is emptied.
  void ReloadFleet();
  void FreeFleet();
  // True while the link of the start is being made or a load runs.
  bool IsLoading() const { return Loading; }

  // Why the last load ended early (a failing getter, a bound); empty after a complete load.
  const QString& LastLoadError() const { return LoadError; }

  TBounds Bounds;
  TMyEvents Events;

private:
  friend class TMyEvents;
  struct TLoad;

  // The load's steps, each sent at once and taken up again when its answers are in.
  void StartLoad();
  void TakeGroupsNum();
  void SendGroup();
  void TakeGroup();
  void SendRestOfCar();
  void TakeCar();
  // Waits, without waiting here, for the calls in `calls`; then runs `next`, or ends the load
  // when an answer did not come in time.
  void Await(std::vector<QDBusPendingCall> calls, void (TDispatcherFleet::*next)());
  // Ends the load: the fleet read becomes the fleet, and what events asked meanwhile is done.
  void FinishLoad(bool whole);
  void Unlink();

  TFleet& Fleet;
  std::function<void()> FleetReplaced;
  QDBusConnection Bus;
  std::unique_ptr<TDispatcherAutomation> Dispatcher;
  // The dispatcher being linked at start, until the bus has answered.
  std::unique_ptr<TDispatcherAutomation> Candidate;
  std::unique_ptr<TLoad> Load;
  QString LoadError;
  bool Loading = false;
  bool ReloadAsked = false;
  bool UnlinkAsked = false;
  bool InEvent = false;
  // The owner of the load's waits: they end with it, before anything they would touch.
  std::unique_ptr<QObject> Waits = std::make_unique<QObject>();
};

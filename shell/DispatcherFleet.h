#pragma once
// The monitor's automation link with the dispatcher program and the fleet it reads over it:
// the vehicle groups and vehicles that the send window offers as targets.
//
// The link is made once, at start; the dispatcher's event 201 (its group list changed) reads
// the fleet again, event 203 ends the link for the rest of the run. Every call waits in a
// local event loop that serves incoming calls, so an event can come in the middle of a load:
// the load goes into a list of its own, which replaces the fleet in one step together with
// the refill of the send window; an event that came meanwhile is acted on after the load.

#include "shell/Fleet.h"

#include <QDBusConnection>

#include <functional>
#include <memory>

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
  // `fleet` is the list the monitor shows (the main form's); `fleetReplaced` runs right after
  // every reload has replaced it, to refill what shows it. The link goes over `bus`.
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

  // Reads the fleet from the dispatcher: nothing without a link. A failing getter ends the
  // load; what was read until then becomes the fleet, and LastLoadError() tells why.
  void LoadFleet();
  // The same for event 201: the fleet is replaced and the send window refilled.
  void ReloadFleet();
  void FreeFleet();

  // Why the last load ended early; empty after a complete load.
  const QString& LastLoadError() const { return LoadError; }

  TMyEvents Events;

private:
  friend class TMyEvents;

  // Reads the whole fleet into `fleet`; false at the first failing getter.
  bool ReadFleet(TFleet& fleet);
  bool ReadGroup(int32_t index, TFleet& fleet);
  // Loads, replaces the fleet, runs `fleetReplaced`; then does what events asked meanwhile.
  void Load();
  void Unlink();

  TFleet& Fleet;
  std::function<void()> FleetReplaced;
  QDBusConnection Bus;
  std::unique_ptr<TDispatcherAutomation> Dispatcher;
  QString LoadError;
  bool Loading = false;
  bool ReloadAsked = false;
  bool UnlinkAsked = false;
  bool InEvent = false;
};

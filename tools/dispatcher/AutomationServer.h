#pragma once
// The stand-in dispatcher's automation server: the ten operations the monitor reads the fleet
// with, on "/OrvexAutomation" of the name "org.orvex.OrvexAutomation", and the events signal.
//
// Selection works as a cursor: SelectGroup makes a group current and clears the current
// vehicle, SelectCar picks a vehicle of the current group. A number out of range is an error
// reply and leaves nothing selected, so that a getter after it fails rather than answering
// for an earlier selection. A getter with nothing selected is an error reply too.

#include "StandinFleet.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>

#include <map>

class TEvents;

class TAutomationServer : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.orvex.IOrvexAutomation")

public:
  static constexpr const char* kErrorOutOfRange = "org.orvex.Error.OutOfRange";
  static constexpr const char* kErrorNothingSelected = "org.orvex.Error.NothingSelected";
  static constexpr const char* kErrorFailed = "org.orvex.Error.Failed";

  TAutomationServer();

  // Replaces the fleet; nothing is selected afterwards.
  void SetFleet(TStandinFleet fleet);
  // Serves the object and takes the name. False when the name is taken.
  bool Register(QDBusConnection bus);
  // Sends the event Invoke(dispId) to every subscriber.
  void Emit(int dispId);
  // Scripted calls of one operation, counted from now: the n-th call answers the error
  // kErrorFailed; the n-th call sends Invoke(dispId) before it answers. False for a name that
  // is not an operation. n = 0 clears the plan of that operation.
  bool FailCall(const QString& operation, int n);
  bool EventInCall(const QString& operation, int n, int dispId);
  // A dispatcher that lies about its fleet: from now on get_GroupsNum answers `groups` and
  // get_GroupCarsNum `cars` for every group, whatever the fleet holds, and every selection
  // within those counts succeeds. A group or vehicle that the fleet does not hold is made up:
  // the group "Группа N"; the vehicle with device number N, alias "Машина N", no model, phone
  // "+7900" and N in seven digits, no handle. A negative count ends the lie.
  void Lie(int groups, int cars);

public slots:
  int get_GroupsNum();
  void SelectGroup(int group);
  int get_GroupCarsNum();
  void SelectCar(int car);
  QString get_GroupName();
  int get_CarDevice();
  QString get_CarModel();
  QString get_CarAlias();
  QString get_CarTelNum();
  QString get_CarHandle();

private:
  struct TCallPlan {
    int Calls = 0;
    int FailAt = 0;
    int EventAt = 0;
    int EventId = 0;
  };
  // Counts a call of the operation and plays its plan; false when the call is to fail (the
  // error reply is sent).
  bool Enter(const char* operation);
  const TStandinGroup* CurrentGroup();
  const TStandinCar* CurrentCar();
  int GroupCount() const;
  int CarCount(int group) const;

  TStandinFleet Fleet;
  int LieGroups = -1;  // the counts told instead of the fleet's, -1 while telling the truth
  int LieCars = -1;
  TStandinGroup MadeUpGroup;
  TStandinCar MadeUpCar;
  int Group = 0;  // 1-based, 0 when none
  int Car = 0;    // 1-based within the group, 0 when none
  TEvents* Events = nullptr;
  std::map<QString, TCallPlan> Plans;
};

// The events interface of the same object, next to the operations.
class TEvents : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.orvex.IOrvexAutomationEvents")

public:
  explicit TEvents(TAutomationServer* server) : QDBusAbstractAdaptor(server) {}

signals:
  void Invoke(int dispId);
};

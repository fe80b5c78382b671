#pragma once
// The program's windows, made for the main form by kind.

#include "seam/MonitorServices.h"

QWidget* MakeProgramWindow(TWindowKind kind, TMonitorServices& monitor);

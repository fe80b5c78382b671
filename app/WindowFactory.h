#pragma once
// The program's windows, made for the main form by kind.

#include "shell/MonitorServices.h"

QWidget* MakeProgramWindow(TWindowKind kind, TMonitorServices& monitor);

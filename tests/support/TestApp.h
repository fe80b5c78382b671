#pragma once
// The one QApplication of a test program, created on first use and kept until the program
// ends (the tests run with QT_QPA_PLATFORM=offscreen).

class QApplication;

QApplication& TestApplication();

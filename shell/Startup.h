#pragma once
// The program's version as the start-up reads it.

// The version compiled into the program, "%u.%u.%u".
const char* ProgramVersion();
// Reads "%u.%u.%u" into VersionMajor, VersionMinor and VersionRelease; numbers the text does
// not reach stay 0.
void ReadVersion(const char* fileVersion);

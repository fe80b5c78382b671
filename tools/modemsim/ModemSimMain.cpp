// orvex-modemsim: a simulated GSM modem on a pseudo-terminal. The first line on the standard
// output is the slave path to open as the serial port; control lines are read from the
// standard input (and the control socket), see tools/modemsim/README.md.

#include "tools/modemsim/PtyServer.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: orvex-modemsim [--control SOCKET] [--link PATH] [--exec COMMAND]...\n"
               "  --control SOCKET  also read control lines from this Unix-domain socket\n"
               "  --link PATH       make PATH a symbolic link to the pseudo-terminal\n"
               "  --exec COMMAND    run a control line before serving (may repeat)\n");
}

}  // namespace

int main(int argc, char** argv) {
  TPtyServerOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--control" && hasValue) {
      options.ControlSocket = argv[++i];
    } else if (arg == "--link" && hasValue) {
      options.Link = argv[++i];
    } else if (arg == "--exec" && hasValue) {
      options.Commands.push_back(argv[++i]);
    } else {
      Usage();
      return arg == "--help" || arg == "-h" ? 0 : 2;
    }
  }
  TPtyServer server(options);
  std::string error;
  if (!server.Open(error)) {
    std::fprintf(stderr, "orvex-modemsim: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", server.SlavePath().c_str());
  std::fflush(stdout);
  return server.Run();
}

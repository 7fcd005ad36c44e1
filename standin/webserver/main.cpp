// jorv_webserver: the maker's web server stand-in as a program, for the demo.
//   jorv_webserver --root <folder> [--port <n>]
// Serves <folder>/versions.json, <folder>/input/*.enc, <folder>/release/..., <folder>/docs/...
// under http://127.0.0.1:<port>/downloads/ until interrupted.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "standin/webserver/web_server.h"

int main(int argc, char** argv) {
  std::string root;
  int port = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--root") {
      root = argv[i + 1];
    } else if (option == "--port") {
      port = std::atoi(argv[i + 1]);
    } else {
      std::fprintf(stderr, "unknown option %s\n", option.c_str());
      return 2;
    }
  }
  if (root.empty()) {
    std::fprintf(stderr, "usage: jorv_webserver --root <folder> [--port <n>]\n");
    return 2;
  }
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  // Blocked before the server's threads start, so they inherit the mask and sigwait gets them.
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  try {
    standin::WebServer server(root, port);
    std::printf("%s\n", server.baseUrl().c_str());
    std::fflush(stdout);
    int received = 0;
    sigwait(&signals, &received);
    server.stop();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "jorv_webserver: %s\n", e.what());
    return 1;
  }
  return 0;
}

// trawler-cli's entry: see cli/cli_app.h.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "web/transport.h"

int main(int argc, char** argv) {
  trawler::InitTransport();
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int code = trawler::RunCli(args, std::cout, std::cerr);
  std::cout.flush();
  return code;
}

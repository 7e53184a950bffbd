// The strewmill tool: parse the command line, set up logging, run, report.
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <variant>
#include <vector>

#include "cli.h"
#include "driver.h"
#include "fennistock/common/error.h"
#include "logging.h"

namespace {

void write(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

int run_tool(int argc, char** argv) {
  using namespace fennistock::tool;
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::variant<Cli, CliExit> parsed = parse_cli(std::move(args));
  if (const CliExit* exit = std::get_if<CliExit>(&parsed)) {
    write(stdout, exit->out);
    write(stderr, exit->err);
    return exit->code;
  }
  const Cli& cli = std::get<Cli>(parsed);
  setup_logging(cli.verbose);
  const fennistock::Status status = run(cli);
  if (!status.ok()) {
    write(stderr, fennistock::format_error_report(status.error()));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A write past the file-size limit, or to a closed pipe, must fail as an error the run reports
  // (EFBIG, EPIPE), not kill the process before it can say what went wrong.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  // Libraries may still throw (an allocation, a logging sink); that ends the run, not the process.
  try {
    return run_tool(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("Error: out of memory\n", stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Error: %s\n", e.what());
  } catch (...) {
    std::fputs("Error: unexpected failure\n", stderr);
  }
  return 1;
}

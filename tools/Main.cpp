// tavodb: the library's command-line tool.
//   tavodb engine (--dir DIR | --remote HOST:PORT) --db NAME [--csv|--json]
//                 [--types LETTERS] [-v] "statement" [parameters...]
//   tavodb demo [--keep] [--source DIR] [--search TEXT]... [--no-progress] [-v]
// Exit status: 0 on success, 1 when a library call failed (its result name
// and what was being done are printed to stderr), 2 for a usage error.
#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdio>
#include <iostream>

#include "DemoCommand.h"
#include "EngineCommand.h"
#include "EngineConnection.h"

namespace {

struct EngineOptions {
  std::string directory;
  std::string database;
  std::string statement;
  std::vector<std::string> parameters;
  std::string types;
  bool csv = false;
  bool json = false;
};

void runEngine(const EngineOptions& options) {
  using namespace tavtool;
  const Parameters parameters(options.parameters);
  EngineConnection engine(options.directory, options.database);
  if (!isQuery(options.statement)) {
    runCommand(engine.session(), options.statement, parameters);
    std::cout << "ok\n";
    return;
  }
  const ResultTable table =
      runQuery(engine.session(), options.statement, parameters, options.types);
  if (table.columns.empty()) {
    std::cout << "ok\n";
  } else if (options.csv) {
    printCsv(std::cout, table);
  } else if (options.json) {
    printJson(std::cout, table);
  } else {
    printTable(std::cout, table);
  }
}

bool isNumber(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"TavOdb command-line tool"};
  app.require_subcommand(1);
  tavtool::EngineSettings settings;

  EngineOptions engine;
  CLI::App* engineCommand =
      app.add_subcommand("engine", "Run one statement through the engine backend");
  engineCommand
      ->add_option("--dir", engine.directory, "Directory of the in-process engine's databases")
      ->check(CLI::ExistingDirectory);
  engineCommand->add_option("--db", engine.database, "Engine database name")->required();
  engineCommand->add_option("--remote", settings.remote,
                            "Use the remote engine (PostgreSQL) at [USER@]HOST:PORT");
  engineCommand->add_option("--types", engine.types,
                            "Column types, one letter each: s text (default), i integer, "
                            "d double, b binary (hex), t date-time, g GUID");
  auto* csv = engineCommand->add_flag("--csv", engine.csv, "Print CSV");
  engineCommand->add_flag("--json", engine.json, "Print a JSON array of objects")->excludes(csv);
  engineCommand->add_option("statement", engine.statement, "SQL statement with ? parameters")
      ->required();
  // The parameters are the arguments after the statement, taken as they are:
  // a declared list option would split a text such as "[a,b]" at its commas.
  engineCommand->allow_extras();
  engineCommand->footer(
      "Parameters, after the statement, fill its ? markers: 42 (integer), text, null, or "
      "typed i:42 d:1.5 s:text x:00ff t:2026-12-05T10:30:00 g:{GUID}.\n");
  engineCommand->callback([&] {
    // Without a remote engine the databases need a directory.
    if (engine.directory.empty() && settings.remote.empty()) {
      throw CLI::RequiredError("--dir (or --remote)");
    }
    for (const std::string& argument : engineCommand->remaining()) {
      if (argument.size() > 1 && argument[0] == '-' && !isNumber(argument)) {
        throw CLI::ExtrasError("engine", {argument +
                                          " (a text parameter starting with - is "
                                          "written s:" +
                                          argument + ")"});
      }
      engine.parameters.push_back(argument);
    }
  });

  tavtool::DemoOptions demo;
  CLI::App* demoCommand = app.add_subcommand(
      "demo", "Load the licence texts into a new full-text repository and search them");
  demoCommand->add_flag("--keep", demo.keep, "Keep the repository directory and print its path");
  demoCommand->add_option("--source", demo.source, "Directory of the texts to load")
      ->check(CLI::ExistingDirectory);
  demoCommand
      ->add_option("--search", demo.searches,
                   "A search to run instead of the built-in ones (repeatable)")
      ->allow_extra_args(false);  // one search per --search, commas and brackets kept
  demoCommand->add_flag("!--no-progress", demo.progress, "Do not draw the progress bar");
  for (CLI::App* command : {engineCommand, demoCommand}) {
    command->add_flag("-v,--verbose", settings.verbose, "Show the library's log on stderr");
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help is a "parse error" that exits 0; every real one is a usage error.
    return app.exit(error) == 0 ? 0 : 2;
  }
  try {
    tavtool::applySettings(settings);
    if (engineCommand->parsed()) {
      runEngine(engine);
    } else {
      tavtool::runDemo(demo, std::cout);
    }
  } catch (const tavtool::ToolFailure& failure) {
    std::cout.flush();
    const char* name = TavResultName(failure.result());
    std::fprintf(stderr, "tavodb: %s (0x%08x): %s\n", name != nullptr ? name : "unknown result",
                 static_cast<unsigned>(failure.result()), failure.what());
    if (!settings.verbose) std::fprintf(stderr, "tavodb: --verbose shows the library's log\n");
    return 1;
  }
  return 0;
}

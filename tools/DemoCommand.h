// `tavodb demo`: a small document repository on the in-process engine.
#ifndef TAVODB_TOOLS_DEMO_COMMAND_H
#define TAVODB_TOOLS_DEMO_COMMAND_H

#include <ostream>
#include <string>
#include <vector>

namespace tavtool {

struct DemoOptions {
  std::string source = "/usr/share/common-licenses";  // the texts loaded, one document per file
  std::vector<std::string> searches;                  // empty: the built-in searches
  bool keep = false;                                  // leave the repository directory behind
  bool progress = true;                               // draw the progress bar on stderr
};

// Builds the repository under a new temporary directory, loads the texts
// and prints the hits of each search to out. Throws ToolFailure.
void runDemo(const DemoOptions& options, std::ostream& out);

// A text split into its sections: the paragraphs (runs of non-blank lines),
// each without its line breaks' trailing blanks.
std::vector<std::string> splitSections(const std::string& text);

}  // namespace tavtool

#endif  // TAVODB_TOOLS_DEMO_COMMAND_H

#include "DemoCommand.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "EngineCommand.h"
#include "EngineConnection.h"
#include "TavCommon.h"
#include "TavOdb/OdbRowsetCorvid.h"
#include "TavOdb/OdbSessionCorvid.h"
#include "TavRecords.h"
#include "ToolText.h"

namespace fs = std::filesystem;

namespace tavtool {
namespace {

// Every text under /usr/share/common-licenses is in English.
constexpr char16_t kLanguage[] = u"en";
// Searches shown when none are given: single words, a phrase, two words.
const char* const kDefaultSearches[] = {"warranty", "\"free software\"", "patent",
                                        "copyright notice"};
constexpr size_t kShownSections = 12;
constexpr size_t kExcerptLength = 100;

struct Document {
  std::string title;  // the file name
  std::vector<std::string> sections;
};

std::vector<Document> readDocuments(const std::string& source) {
  std::vector<Document> documents;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(source, error)) {
    // GPL, LGPL and GFDL are links to the latest version: load each text once.
    if (entry.is_symlink() || !entry.is_regular_file()) continue;
    std::ifstream file(entry.path(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    Document document{entry.path().filename().string(), splitSections(text.str())};
    if (!document.sections.empty()) documents.push_back(std::move(document));
  }
  if (error) {
    throw ToolFailure(TAV_E_FILENOTFOUND, "reading " + source + ": " + error.message());
  }
  if (documents.empty()) throw ToolFailure(TAV_E_FILENOTFOUND, "no texts under " + source);
  std::sort(documents.begin(), documents.end(),
            [](const Document& a, const Document& b) { return a.title < b.title; });
  return documents;
}

// A new directory under the system's temporary directory, removed with its
// contents at the end unless kept.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(bool keep) : _keep(keep) {
    std::string pattern = (fs::temp_directory_path() / "tavodb-demo-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw ToolFailure(TAV_E_FILEERROR, "creating a temporary directory failed");
    }
    _path = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    if (!_keep) fs::remove_all(_path, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::string& path() const { return _path; }

 private:
  std::string _path;
  bool _keep;
};

// A one-line bar on stderr, redrawn in place; drawn only on a terminal.
class ProgressBar {
 public:
  ProgressBar(size_t total, bool enabled) : _total(total), _enabled(enabled && isatty(2)) {}
  ~ProgressBar() {
    if (_drawn) std::fputc('\n', stderr);
  }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void show(size_t done, const std::string& label) {
    if (!_enabled) return;
    constexpr size_t kWidth = 30;
    const size_t filled = _total == 0 ? kWidth : done * kWidth / _total;
    std::fprintf(stderr, "\rLoading [%s%s] %3zu/%zu %-14.14s", std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, '.').c_str(), done, _total, label.c_str());
    std::fflush(stderr);
    _drawn = true;
  }

 private:
  size_t _total;
  bool _enabled;
  bool _drawn = false;
};

void load(OdbSessionCorvid& session, const std::vector<Document>& documents, bool progress) {
  runCommand(session,
             "CREATE TABLE documents (id INTEGER PRIMARY KEY, title TEXT, "
             "Content TEXT ARRAY, ContentTextLanguage TEXT ARRAY)",
             Parameters({}));
  runCommand(session, "CREATE FULLTEXT INDEX ON documents (Content)", Parameters({}));

  ProgressBar bar(documents.size(), progress);
  bar.show(0, "");
  check(session.BeginTransaction(ODB_TRANSACT_READ_WRITE, ODB_ISOLATION_DEFAULT),
        "beginning the load transaction");
  // The rows are staged and run as one batch; their content follows, one
  // full-text update per document.
  for (size_t i = 0; i < documents.size(); ++i) {
    const std::u16string title = toUtf16(documents[i].title);
    const TavVariant row[2] = {tavrecords::integer(static_cast<int32_t>(i + 1)),
                               tavrecords::text(title)};
    check(session.PutCommand(u"INSERT INTO documents (id, title) VALUES (?, ?)", 2, row),
          "staging document " + documents[i].title);
  }
  check(session.FlushCommand(), "inserting the documents");
  for (size_t i = 0; i < documents.size(); ++i) {
    const Document& document = documents[i];
    std::vector<std::u16string> texts;
    for (const std::string& section : document.sections) texts.push_back(toUtf16(section));
    std::vector<TavVariant> values;
    std::vector<TavVariant> languages;
    const std::u16string language = kLanguage;
    for (const std::u16string& text : texts) {
      values.push_back(tavrecords::text(text));
      languages.push_back(tavrecords::text(language));
    }
    const std::u16string condition = u"id = " + toUtf16(std::to_string(i + 1));
    check(session.UpdateFullText(u"documents", u"Content", condition.c_str(),
                                 static_cast<int>(values.size()), values.data(), languages.data(),
                                 ODB_UPDATE_REPLACE),
          "writing the sections of " + document.title);
    bar.show(i + 1, document.title);
  }
  check(session.CommitTransaction(), "committing the load");
}

struct Hit {
  int32_t id = 0;
  std::string title;
  std::vector<int32_t> sections;  // 1-based
  std::string excerpt;
};

// Releases a rowset through its session when it goes.
struct RowsetHolder {
  OdbSessionCorvid& session;
  OdbRowsetCorvid* rowset = nullptr;
  explicit RowsetHolder(OdbSessionCorvid& owner) : session(owner) {
    OdbRowset* created = nullptr;
    check(session.CreateRowset(&created), "creating a rowset");
    if (created == nullptr) throw ToolFailure(E_OUTOFMEMORY, "creating a rowset failed");
    rowset = static_cast<OdbRowsetCorvid*>(created);
  }
  ~RowsetHolder() {
    OdbRowset* created = rowset;
    session.ReleaseRowset(&created);
  }
  RowsetHolder(const RowsetHolder&) = delete;
  RowsetHolder& operator=(const RowsetHolder&) = delete;
};

// The first words of the search, lower case, without quotes: where an
// excerpt is centred.
std::string firstTerm(const std::string& search) {
  std::string term;
  for (char c : search) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      term += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else if (!term.empty()) {
      break;
    }
  }
  return term;
}

std::string excerptOf(const std::string& section, const std::string& term) {
  const std::string text = collapseWhitespace(section);
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const size_t found = term.empty() ? std::string::npos : lower.find(term);
  size_t start = found == std::string::npos || found < 30 ? 0 : found - 30;
  if (start > 0) start = text.find(' ', start) + 1;  // begin at a word
  std::string excerpt = text.substr(start, kExcerptLength);
  const bool cut = start + excerpt.size() < text.size();
  if (cut) excerpt.erase(std::min(excerpt.size(), excerpt.rfind(' ')));  // end at a word
  return (start > 0 ? "..." : "") + excerpt + (cut ? "..." : "");
}

std::vector<Hit> search(OdbSessionCorvid& session, const std::string& terms) {
  const std::u16string text = toUtf16(terms);
  const TavVariant parameter = tavrecords::text(text);
  std::vector<Hit> hits;
  // Section mode delivers only the section numbers of each row, so the
  // documents' titles and texts come from a second query with the same
  // predicate and order.
  {
    TavVariant columns[2] = {};
    columns[0].type = TAV_VT_INT;
    columns[1].type = TAV_VT_INT;
    RowsetHolder holder(session);
    check(holder.rowset->Initialize(&session,
                                    u"SELECT SECTIONS(d.Content), d.id FROM documents d "
                                    u"WHERE CONTAINS(d.Content, ?) ORDER BY d.id",
                                    100, 1, &parameter, 2, columns),
          "searching " + terms);
    TavResult rc = S_OK;
    while ((rc = holder.rowset->GetNextRow(OdbRowsetCorvid::kSectionMode)) == S_OK) {
      const int32_t count = columns[0].value.intValue;
      std::vector<TavVariant> numbers(static_cast<size_t>(count));
      check(holder.rowset->GetSectionNumbers(numbers.data(), count), "reading section numbers");
      Hit& hit = hits.emplace_back();
      for (const TavVariant& number : numbers) hit.sections.push_back(number.value.intValue);
    }
    if (rc != TAV_E_NOTFOUND) check(rc, "reading the hits of " + terms);
  }
  TavVariant columns[3] = {};
  columns[0].type = TAV_VT_INT;
  columns[1].type = TAV_VT_STRING;
  columns[2].type = TAV_VT_STRING;  // the sections, as an array of strings
  RowsetHolder holder(session);
  check(holder.rowset->Initialize(&session,
                                  u"SELECT d.id, d.title, d.Content FROM documents d "
                                  u"WHERE CONTAINS(d.Content, ?) ORDER BY d.id",
                                  100, 1, &parameter, 3, columns),
        "searching " + terms);
  const std::string term = firstTerm(terms);
  TavResult rc = S_OK;
  size_t row = 0;
  while ((rc = holder.rowset->GetNextRow(OdbRowsetCorvid::kAllColumns)) == S_OK) {
    if (row >= hits.size()) throw ToolFailure(E_UNEXPECTED, "the two searches disagree");
    Hit& hit = hits[row++];
    hit.id = columns[0].value.intValue;
    hit.title =
        toUtf8(std::u16string_view(columns[1].value.string.chars, columns[1].value.string.length));
    const TavVariantArray* sections =
        columns[2].type == TAV_VT_ARRAY ? columns[2].value.array : nullptr;
    const int32_t first = hit.sections.empty() ? 0 : hit.sections.front();
    if (sections != nullptr && first >= 1 && first <= sections->count) {
      const TavVariant& section = sections->elements[first - 1];
      hit.excerpt = excerptOf(
          toUtf8(std::u16string_view(section.value.string.chars, section.value.string.length)),
          term);
    }
  }
  if (rc != TAV_E_NOTFOUND) check(rc, "reading the documents found by " + terms);
  if (row != hits.size()) throw ToolFailure(E_UNEXPECTED, "the two searches disagree");
  return hits;
}

void printHits(std::ostream& out, const std::string& terms, const std::vector<Hit>& hits) {
  out << "\nsearch " << terms << ": " << hits.size()
      << (hits.size() == 1 ? " document\n" : " documents\n");
  for (const Hit& hit : hits) {
    std::string numbers;
    for (size_t i = 0; i < hit.sections.size() && i < kShownSections; ++i) {
      numbers += (i > 0 ? ", " : "") + std::to_string(hit.sections[i]);
    }
    if (hit.sections.size() > kShownSections) {
      numbers += " (+" + std::to_string(hit.sections.size() - kShownSections) + " more)";
    }
    out << "  " << hit.title << std::string(hit.title.size() < 12 ? 12 - hit.title.size() : 1, ' ')
        << (hit.sections.size() == 1 ? "section " : "sections ") << numbers << '\n';
    if (!hit.excerpt.empty()) out << "    \"" << hit.excerpt << "\"\n";
  }
}

}  // namespace

std::vector<std::string> splitSections(const std::string& text) {
  std::vector<std::string> sections;
  std::string current;
  std::istringstream lines(text);
  std::string line;
  auto close = [&] {
    if (!current.empty()) sections.push_back(std::move(current));
    current.clear();
  };
  while (std::getline(lines, line)) {
    const size_t end = line.find_last_not_of(" \t\r\f\v");
    if (end == std::string::npos) {
      close();
      continue;
    }
    line.erase(end + 1);
    if (!current.empty()) current += '\n';
    current += line;
  }
  close();
  return sections;
}

void runDemo(const DemoOptions& options, std::ostream& out) {
  const std::vector<Document> documents = readDocuments(options.source);
  size_t sectionCount = 0;
  for (const Document& document : documents) sectionCount += document.sections.size();

  ScratchDirectory directory(options.keep);
  EngineConnection engine(directory.path(), "licences");
  load(engine.session(), documents, options.progress);
  out << "loaded " << documents.size() << " documents (" << sectionCount
      << " sections, one per paragraph, language en) from " << options.source << '\n';

  std::vector<std::string> searches = options.searches;
  if (searches.empty()) searches.assign(std::begin(kDefaultSearches), std::end(kDefaultSearches));
  for (const std::string& terms : searches) printHits(out, terms, search(engine.session(), terms));
  if (options.keep) out << "\nthe repository is kept in " << directory.path() << '\n';
}

}  // namespace tavtool

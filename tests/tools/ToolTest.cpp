// The tavodb program run as a user runs it: arguments in, exact output and
// exit status out. Built with TOOL_TEST_POSTGRES the engine statements go
// to the test PostgreSQL server through --remote.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string quote(const std::string& argument) {
  std::string quoted = "'";
  for (char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string readFile(const std::string& path) {
  std::ifstream file(path);
  return {std::istreambuf_iterator<char>(file), {}};
}

// Distinct names for the two builds, so that ctest keeps their tests apart.
#ifdef TOOL_TEST_POSTGRES
#define Tool RemoteTool
#endif

class Tool : public ::testing::Test {
 protected:
  Outcome tavodb(const std::vector<std::string>& arguments) {
    std::string command = quote(TAVODB_TOOL_PATH);
    for (const auto& argument : arguments) command += " " + quote(argument);
    const std::string out = _directory.path() + "/stdout";
    const std::string err = _directory.path() + "/stderr";
    command += " >" + quote(out) + " 2>" + quote(err) + " </dev/null";
    Outcome run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = readFile(out);
    run.err = readFile(err);
    return run;
  }

  // `tavodb engine` on this test's database, with the options that pick it.
  Outcome engine(std::vector<std::string> arguments) {
    std::vector<std::string> full{"engine", "--db", "tooltest"};
#ifdef TOOL_TEST_POSTGRES
    std::ifstream portFile(std::string(std::getenv("TAVODB_TEST_PG_DIR")) + "/port");
    std::string port;
    portFile >> port;
    full.insert(full.end(), {"--remote", "postgres@127.0.0.1:" + port});
#else
    full.insert(full.end(), {"--dir", _directory.path()});
#endif
    full.insert(full.end(), arguments.begin(), arguments.end());
    return tavodb(full);
  }

  // The output of an engine run that must succeed.
  std::string succeeds(std::vector<std::string> arguments) {
    const Outcome run = engine(std::move(arguments));
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
  }

  // An engine run that must fail with `status`, nothing on standard output
  // and `message` on standard error.
  void fails(std::vector<std::string> arguments, int status, const std::string& message) {
    const Outcome run = engine(std::move(arguments));
    EXPECT_EQ(run.status, status) << message;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  }

  tavtest::TempDirectory _directory;
};

#ifdef TOOL_TEST_POSTGRES
constexpr const char* kReal = "double precision";
#else
constexpr const char* kReal = "REAL";
#endif

TEST_F(Tool, EngineRunsStatementsWithParametersAndPrintsEveryFormat) {
  succeeds({"DROP TABLE IF EXISTS items"});
  EXPECT_EQ(succeeds({std::string("CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT, price ") +
                      kReal + ")"}),
            "ok\n");
  // Bare integers, texts, null and typed values; a text with a comma and a
  // quote; a wide character.
  for (const auto& row :
       std::vector<std::vector<std::string>>{{"1", "pen", "d:1.5"},
                                             {"i:2", "s:42", "null"},
                                             {"3", "a \"big\", red box", "d:-0.25"},
                                             {"4", "\xE6\x9D\xB1\xE4\xBA\xAC", "d:100"}}) {
    std::vector<std::string> arguments{"INSERT INTO items VALUES (?, ?, ?)"};
    arguments.insert(arguments.end(), row.begin(), row.end());
    succeeds(arguments);
  }

  const std::string select = "SELECT id, name, price FROM items WHERE id >= ? ORDER BY id";
  EXPECT_EQ(succeeds({"--types", "isd", select, "1"}),
            "id | name             | price\n"
            "---+------------------+------\n"
            " 1 | pen              |   1.5\n"
            " 2 | 42               | NULL\n"
            " 3 | a \"big\", red box | -0.25\n"
            " 4 | \xE6\x9D\xB1\xE4\xBA\xAC             |   100\n"
            "(4 rows)\n");
  EXPECT_EQ(succeeds({"--csv", "--types", "isd", select, "2"}),
            "id,name,price\n"
            "2,42,\n"
            "3,\"a \"\"big\"\", red box\",-0.25\n"
            "4,\xE6\x9D\xB1\xE4\xBA\xAC,100\n");
  // Without --types every value is read as text.
  EXPECT_EQ(succeeds({"--json", "SELECT id, name, price FROM items WHERE id = ?", "2"}),
            "[\n"
            "  {\n"
            "    \"id\": \"2\",\n"
            "    \"name\": \"42\",\n"
            "    \"price\": null\n"
            "  }\n"
            "]\n");
  EXPECT_EQ(succeeds({"SELECT id FROM items WHERE id > 100"}), "id\n--\n(0 rows)\n");
}

TEST_F(Tool, FailuresNameTheirResultAndExitNonZero) {
  succeeds({"DROP TABLE IF EXISTS keyed"});
  succeeds({"CREATE TABLE keyed (id INTEGER PRIMARY KEY)"});
  succeeds({"INSERT INTO keyed VALUES (?)", "7"});
  fails({"INSERT INTO keyed VALUES (?)", "7"}, 1,
        "tavodb: TAV_E_DUPLICATEKEY (0x80040269): running the statement failed");
  fails({"SELECT * FROM no_such_table"}, 1, "TAV_E_SQL_ERROR");
  // A column read as a type its values do not have.
  fails({"--types", "b", "SELECT id FROM keyed"}, 1,
        "E_INVALIDARG (0x80070057): reading row 1 failed");
  fails({"--cvs", "SELECT 1"}, 2, "--cvs");
  EXPECT_EQ(tavodb({"engine", "--db", "x", "SELECT 1"}).status, 2) << "no --dir nor --remote";

  for (const auto& [argument, why] : std::vector<std::pair<std::string, std::string>>{
           {"i:2147483648", "not a 32-bit integer"},
           {"d:1.5x", "not a number"},
           {"x:abc", "odd number of hex digits"},
           {"x:zz", "not hex digits"},
           {"t:2026-12-5", "not YYYY-MM-DD[ HH:MM:SS[.mmm]]"},
           {"g:0C7FF16C", "not a braced GUID"}}) {
    fails({"SELECT ?", argument}, 1,
          "E_INVALIDARG (0x80070057): parameter 1 \"" + argument + "\": " + why);
  }
}

TEST_F(Tool, TypedParametersRoundTripThroughTheirColumnTypes) {
  EXPECT_EQ(succeeds({"--json", "--types", "itdg", "SELECT ? AS n, ? AS d, ? AS w, ? AS g",
                      "i:-2147483648", "t:2026-12-05T10:30:07.25", "d:0.1",
                      "g:{0c7ff16c-38e3-11d0-97ab-00c04fc2ad98}"}),
            "[\n"
            "  {\n"
            "    \"n\": -2147483648,\n"
            "    \"d\": \"2026-12-05 10:30:07.250\",\n"
            "    \"w\": 0.1,\n"
            "    \"g\": \"{0C7FF16C-38E3-11D0-97AB-00C04FC2AD98}\"\n"
            "  }\n"
            "]\n");
  // Texts with line breaks and quotes survive CSV quoting; NULL is empty;
  // parameters that look like options or lists stay whole.
  EXPECT_EQ(succeeds({"--csv", "SELECT ? AS a, ? AS b", "two\nlines", "null"}),
            "a,b\n\"two\nlines\",\n");
  EXPECT_EQ(succeeds({"--csv", "--types", "ids", "SELECT ? AS a, ? AS b, ? AS c", "-5", "d:-1.5",
                      "s:-[x,y]"}),
            "a,b,c\n-5,-1.5,\"-[x,y]\"\n");
}

#ifndef TOOL_TEST_POSTGRES

TEST_F(Tool, EngineArraysAndBinaryValuesPrintReadably) {
  succeeds({"CREATE TABLE docs (id INTEGER, parts TEXT ARRAY, data BLOB)"});
  succeeds({"INSERT INTO docs VALUES (1, ?, ?)", "[\"a\",\"b c\"]", "x:00ff10"});
  succeeds({"INSERT INTO docs VALUES (2, ?, ?)", "[\"x\"]", "x:"});
  EXPECT_EQ(succeeds({"--types", "isb", "SELECT id, parts, data FROM docs ORDER BY id"}),
            "id | parts     | data\n"
            "---+-----------+-------\n"
            " 1 | {a,\"b c\"} | 00ff10\n"
            " 2 | {x}       |\n"
            "(2 rows)\n");
}

TEST_F(Tool, DemoLoadsTextsAndPrintsHitsWithSectionNumbers) {
  const std::string texts = _directory.path() + "/texts";
  std::filesystem::create_directories(texts);
  std::ofstream(texts + "/First") << "No warranty here.\n\nA quiet paragraph\nover two lines.\n\n"
                                     "Free software, with warranty.\n";
  std::ofstream(texts + "/Second") << "Nothing to see.\n\n\n\nSee the copyright notice.\n";
  std::filesystem::create_symlink("First", texts + "/Alias");  // loaded once, not twice

  Outcome run = tavodb({"demo", "--no-progress", "--source", texts, "--search", "warranty",
                        "--search", "\"copyright notice\"", "--search", "absent"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "loaded 2 documents (5 sections, one per paragraph, language en) from " +
                         texts +
                         "\n"
                         "\nsearch warranty: 1 document\n"
                         "  First       sections 1, 3\n"
                         "    \"No warranty here.\"\n"
                         "\nsearch \"copyright notice\": 1 document\n"
                         "  Second      section 2\n"
                         "    \"See the copyright notice.\"\n"
                         "\nsearch absent: 0 documents\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(Tool, DemoKeepsItsRepositoryOnlyWhenAsked) {
  const std::string texts = _directory.path() + "/texts";
  std::filesystem::create_directories(texts);
  Outcome empty = tavodb({"demo", "--source", texts});
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.err.find("TAV_E_FILENOTFOUND"), std::string::npos) << empty.err;

  std::ofstream(texts + "/Only") << "One paragraph.\n";
  Outcome kept = tavodb({"demo", "--keep", "--source", texts, "--search", "paragraph"});
  ASSERT_EQ(kept.status, 0) << kept.err;
  const std::string marker = "the repository is kept in ";
  const size_t at = kept.out.find(marker);
  ASSERT_NE(at, std::string::npos) << kept.out;
  const std::string kept_path =
      kept.out.substr(at + marker.size(), kept.out.size() - at - marker.size() - 1);
  EXPECT_TRUE(std::filesystem::exists(kept_path + "/licences.db")) << kept_path;
  // The kept repository is an engine database like any other.
  Outcome rows = tavodb({"engine", "--dir", kept_path, "--db", "licences", "--csv",
                         "SELECT id, title, Content FROM documents"});
  EXPECT_EQ(rows.out, "id,title,Content\n1,Only,\"{\"\"One paragraph.\"\"}\"\n") << rows.err;
  std::filesystem::remove_all(kept_path);
}

TEST_F(Tool, DemoSearchesTheSystemLicenceTexts) {
  Outcome run = tavodb({"demo", "--search", "warranty"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("from /usr/share/common-licenses\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  GPL-3       sections "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("warranty"), run.out.rfind("warranty")) << "an excerpt with the word";
}

#endif

}  // namespace

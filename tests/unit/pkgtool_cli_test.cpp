// pkgtool's command line: exit codes 0, 1 and 2, help for every command,
// and the raw stream commands encode and decode.
#include <gtest/gtest.h>
#include <unistd.h>

#include "common/host_files.h"
#include "pkgtool_testing.h"
#include "stream/encoder.h"

namespace pkgtool {
namespace {

using pkgtool_testing::RunTool;
using pkgtool_testing::SampleBytes;

struct UsageCase {
  std::vector<std::string> args;
  const char* message;  // the first line on stderr
};

class PkgtoolUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(PkgtoolUsage, IsExitCode2WithAMessage) {
  pkgtool_testing::ToolRun run = RunTool(GetParam().args);
  EXPECT_EQ(run.code, 2);
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')), GetParam().message);
  EXPECT_EQ(run.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, PkgtoolUsage,
    ::testing::Values(
        UsageCase{{}, "Usage: pkgtool [--quiet] COMMAND [ARGS]..."},
        UsageCase{{"pack"}, "pkgtool: unknown command \"pack\""},
        UsageCase{{"--verbose", "list"}, "pkgtool: unknown option --verbose"},
        UsageCase{{"list"}, "pkgtool: list: expected a DESCRIPTOR"},
        UsageCase{{"list", "--jsn", "a"},
                  "pkgtool: list: unknown option --jsn"},
        UsageCase{{"verify", "a", "--disk"},
                  "pkgtool: verify: option --disk needs a value"},
        UsageCase{{"build", "m", "--installer", "x", "--no-installer"},
                  "pkgtool: build: --installer and --no-installer exclude "
                  "each other"},
        UsageCase{{"verify", "a", "--codepage", "77777"},
                  "pkgtool: verify: unknown code page \"77777\" (iconv "
                  "converts none of that number)"},
        UsageCase{{"help", "pack"}, "pkgtool: unknown command \"pack\""},
        UsageCase{{"build", "m"},
                  "pkgtool: build: the output directory is missing (-o "
                  "OUTDIR)"},
        UsageCase{{"build", "m", "-o", "x", "-D", "NOVALUE"},
                  "pkgtool: build: -D expects NAME=VALUE, not \"NOVALUE\""},
        UsageCase{{"build", "m", "--dry-run=yes"},
                  "pkgtool: build: option --dry-run takes no value"},
        UsageCase{{"build", "m", "-o", "-"},
                  "pkgtool: build: -o takes a directory: the media cannot go "
                  "to standard output (write -o ./- for a directory named "
                  "\"-\")"},
        UsageCase{{"encode", "in"}, "pkgtool: encode: expected IN and OUT"},
        UsageCase{{"decode", "-x", "in", "out"},
                  "pkgtool: decode: unknown option -x"}));

class PkgtoolHelp : public ::testing::TestWithParam<const char*> {};

// Every form asks for the command's own help, which names its statuses
// and --quiet.
TEST_P(PkgtoolHelp, PrintsTheCommandsUsageAndSucceeds) {
  const std::vector<std::vector<std::string>> forms = {{GetParam(), "--help"},
                                                       {GetParam(), "-h"},
                                                       {"help", GetParam()},
                                                       {"--help", GetParam()},
                                                       {"-h", GetParam()}};
  for (const std::vector<std::string>& form : forms) {
    pkgtool_testing::ToolRun run = RunTool(form);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out.rfind(std::string("Usage: pkgtool ") + GetParam(), 0), 0u)
        << form[0] << " " << form[1] << ": " << run.out;
    EXPECT_NE(run.out.find("-q, --quiet  "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nExit status: 0 "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("2 usage error"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");
  }
}

INSTANTIATE_TEST_SUITE_P(Commands, PkgtoolHelp,
                         ::testing::Values("build", "list", "verify", "extract",
                                           "install", "uninstall", "encode",
                                           "decode"));

// A --disk that names nothing fails at once, naming it, whichever command.
TEST(PkgtoolDiskOption, NamingNothingFailsBeforeAnyWork) {
  const std::vector<std::vector<std::string>> commands = {
      {"list"},
      {"verify"},
      {"extract", "-d", "/tmp"},
      {"install", "--root", "/tmp", "--to", "C:\\X", "--yes"}};
  for (std::vector<std::string> args : commands) {
    const std::string command = args[0];
    args.insert(args.end(),
                {"/nonexistent/SETUP.bin", "--disk", "/nonexistent"});
    pkgtool_testing::ToolRun run = RunTool(args);
    EXPECT_EQ(run.code, 1) << command;
    EXPECT_EQ(run.err, "pkgtool: " + command +
                           ": --disk /nonexistent: No such file or directory\n")
        << command;
  }
}

TEST(PkgtoolHelp, TheOverviewListsEveryCommandAndTheVersionIsOneLine) {
  pkgtool_testing::ToolRun version = RunTool({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, std::string("pkgtool ") + kPkgtoolVersion + "\n");
  pkgtool_testing::ToolRun run = RunTool({"help"});
  EXPECT_EQ(run.code, 0);
  for (const char* name :
       {"build", "list", "verify", "extract", "encode", "decode"}) {
    EXPECT_NE(run.out.find(std::string("\n  ") + name + " "), std::string::npos)
        << name;
  }
}

class PkgtoolRawStream : public ::testing::TestWithParam<size_t> {};

TEST_P(PkgtoolRawStream, EncodeThenDecodeGivesTheFileBack) {
  uint32_t seed = pkgtool_testing::TestSeed();
  TempDir dir;
  Bytes data = SampleBytes(GetParam(), seed);
  WriteFile(dir.Make("in"), data);
  pkgtool_testing::ToolRun run = RunTool(
      {"--quiet", "encode", dir.path() + "/in", dir.path() + "/stream"});
  ASSERT_EQ(run.code, 0) << run.err;
  Bytes stream = ReadFile(dir.path() + "/stream");
  ASSERT_GE(stream.size(), 4u);
  EXPECT_EQ(ReadU32(stream.data()), GetParam());
  run = RunTool({"decode", dir.path() + "/stream", dir.path() + "/out"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(dir.path() + "/out"), data);
  // "-" as OUT: the bytes alone on standard output.
  run = RunTool({"encode", dir.path() + "/in", "-"});
  EXPECT_EQ(Bytes(run.out.begin(), run.out.end()), stream);
  run = RunTool({"decode", dir.path() + "/stream", "-"});
  EXPECT_EQ(Bytes(run.out.begin(), run.out.end()), data);
  EXPECT_NE(run.err.find("-> standard output"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PkgtoolRawStream,
                         ::testing::Values(0, 1, 31999, 32000, 32001, 150000));

struct BadStream {
  const char* what;
  size_t keep;          // bytes of the good stream kept
  int64_t sizeChange;   // added to the size prefix
  const char* message;  // part of the error
};

class PkgtoolBadStream : public ::testing::TestWithParam<BadStream> {};

TEST_P(PkgtoolBadStream, FailsAndRemovesTheOutput) {
  TempDir dir;
  Bytes data = SampleBytes(40000, 9);
  for (int i = 0; i < 300; ++i) data.push_back("xy"[i % 2]);  // ends in a match
  Bytes stream = EncodeBuffer(data.data(), data.size());
  if (GetParam().keep < stream.size()) stream.resize(GetParam().keep);
  if (GetParam().sizeChange != 0 && stream.size() >= 4) {
    pkgtool_testing::PutU32(
        &stream, 0,
        static_cast<uint32_t>(static_cast<int64_t>(data.size()) +
                              GetParam().sizeChange));
  }
  WriteFile(dir.Make("stream"), stream);
  pkgtool_testing::ToolRun run =
      RunTool({"decode", dir.path() + "/stream", dir.path() + "/out"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("(" + dir.path() + "/out removed)"),
            std::string::npos);
  EXPECT_FALSE(FileExistsOnHost(dir.path() + "/out"));
}

INSTANTIATE_TEST_SUITE_P(
    Streams, PkgtoolBadStream,
    ::testing::Values(
        BadStream{"empty", 0, 0,
                  "shorter than the 4-byte size prefix (0 "
                  "bytes)"},
        BadStream{"inside the prefix", 3, 0,
                  "shorter than the 4-byte size prefix (3 bytes)"},
        BadStream{"cut in half", 5000, 0, "the stream ends early: "},
        BadStream{"last match overruns", 1 << 30, -1,
                  "the stream yields 40300 bytes, its size prefix says "
                  "40299"}));

TEST(PkgtoolRawStreamFiles, NamesTheFileThatCannotBeRead) {
  TempDir dir;
  pkgtool_testing::ToolRun run =
      RunTool({"encode", dir.path() + "/none", dir.path() + "/out"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "pkgtool: " + dir.path() +
                         "/none: cannot read: No such file or directory\n");
  run = RunTool({"decode", dir.path(), dir.path() + "/out"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "pkgtool: " + dir.path() + ": is a directory\n");
}

}  // namespace
}  // namespace pkgtool

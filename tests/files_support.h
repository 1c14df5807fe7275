// The fixture of the tests of what the programs do to the files around them, run as a user runs
// them (POSIX shells): the files every case starts from, the programs where any user may run
// them, and a table's cases each run through bash in a scratch folder of its own.
#pragma once

#ifndef _WIN32
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <string>

#include "support.h"

namespace files_support {

// The account that the unprivileged rows run as (.ci/run makes it).
constexpr const char* testUser = "vorlatic-test";

// One run in a scratch folder: `setup` (bash lines, as root) first, then `command` with its
// standard error captured, in which {vorlatic}, {inspect} and {import} stand for the programs;
// then `check` must succeed, and no temporary file may be left anywhere below the folder. The
// folder holds in.msh (a small mesh), expected.3db (its conversion), previous.3db (an older
// file), trunc.msh (a mesh that always fails), warn.msh (one that converts with a warning),
// tri.obj (a model that imports to expected.3db), big.msh and big.3db (large enough to be
// interrupted mid-run) before the setup.
struct FileCase {
  const char* name;
  std::string setup;
  std::string command;
  int status;
  std::string diagnostic;  // standard error, exactly
  std::string check;
};

// Runs `program` in the background, its console a pipe that nobody reads (so it stops once the
// pipe is full), waits until `ready` (its temporary file appears), then sends it `signal`; the
// status is the program's. With `drain`, the console is read to its end after the signal, for a
// program that goes on.
std::string interrupted(const std::string& program, const std::string& signal, bool drain = false,
                        const std::string& ready = "ls .vorlatic-*");

// A folder below the scratch one whose own path is longer than the system's path limit (4096):
// only a relative path reaches into it. `then` runs inside it, with $root the scratch folder.
std::string deepFolder(const std::string& then);

enum class As { root, user };

class Files : public ::testing::Test {
 protected:
  // Every test checks that the shared files were made: a failure there is the test's own.
  void SetUp() override { ASSERT_TRUE(fixturesMade) << "could not make the shared files"; }

  static void SetUpTestSuite();

  // The programs, copied where any user may run them: the build folder may be one that only
  // root can enter.
  static std::string withPrograms(std::string command);

  // Runs `setup`, then `command`, through bash in `dir`, the command as `as`; returns the status
  // of the command.
  static int shell(const std::filesystem::path& dir, const std::string& setup,
                   const std::string& command, As as = As::root);

  // Why the unprivileged rows cannot run here, or an empty string.
  static std::string noTestUser();

  void runCases(const FileCase* cases, std::size_t count, As as = As::root);

  template <std::size_t N>
  void runCases(const FileCase (&cases)[N], As as = As::root) {
    runCases(cases, N, as);
  }

  static testing_support::ScratchDir programs;
  static testing_support::ScratchDir fixtures;
  static bool fixturesMade;
};

}  // namespace files_support
#endif

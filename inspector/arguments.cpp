#include "arguments.h"

#include <filesystem>
#include <set>
#include <system_error>

#include "common/output.h"
#include "common/paths.h"

namespace inspector {
namespace {

constexpr const char* flags[] = {"--json", "--help"};
constexpr const char* valued[] = {"--dump", "--svg", "--png", "--size", "--view"};

template <std::size_t N>
bool among(const std::string& arg, const char* const (&names)[N]) {
  for (const char* name : names)
    if (arg == name) return true;
  return false;
}

// Stores the value of a valued option; false with the reason when the value is not one it takes.
bool setValue(const std::string& option, const std::string& value, Arguments& parsed,
              std::string& reason) {
  if (option == "--size") {
    if (parseSize(value, parsed.size)) return true;
    reason = "expected WIDTHxHEIGHT, each from 1 to " + std::to_string(maxPictureSide) +
             ", not \"" + value + "\"";
    return false;
  }
  if (option == "--view") {
    if (parseView(value, parsed.view)) return true;
    reason = "expected " + std::string(viewNames) + ", not \"" + value + "\"";
    return false;
  }
  if (value.empty()) {
    reason = common::emptyPathReason;
    return false;
  }
  (option == "--dump" ? parsed.dump : option == "--svg" ? parsed.svg : parsed.png) = value;
  return true;
}

// Where a result written to `name` lands: a file that may not exist yet, reached through links
// in its folders or as the last part of the name (a dangling link makes what it leads to).
std::filesystem::path landing(const std::string& name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path path = common::pathOf(name);
  for (int links = 0; links < 40 && fs::is_symlink(fs::symlink_status(path, ec)); ++links) {
    fs::path target = fs::read_symlink(path, ec);
    if (ec) break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  fs::path resolved = fs::weakly_canonical(folder, ec);
  return ec ? path.lexically_normal() : resolved / path.filename();
}

bool samePath(const std::string& a, const std::string& b) {
  std::error_code ec;
  return landing(a) == landing(b) ||
         std::filesystem::equivalent(common::pathOf(a), common::pathOf(b), ec);
}

// Two results for one file: one of them would be lost.
bool distinctOutputs(const Arguments& parsed, std::string& what, std::string& reason) {
  const std::pair<const char*, const std::string*> outputs[] = {
      {"--dump", &parsed.dump}, {"--svg", &parsed.svg}, {"--png", &parsed.png}};
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = i + 1; j < 3; ++j) {
      const std::string &first = *outputs[i].second, &second = *outputs[j].second;
      if (first.empty() || second.empty() || !samePath(first, second)) continue;
      what = second;
      reason = std::string("given to both ") + outputs[i].first + " and " + outputs[j].first;
      return false;
    }
  }
  return true;
}

}  // namespace

bool parseArguments(const std::vector<std::string>& args, Arguments& parsed, std::string& what,
                    std::string& reason) {
  std::set<std::string> seen;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (among(arg, flags) || among(arg, valued)) {
      if (!seen.insert(arg).second) {
        what = arg;
        reason = "given twice";
        return false;
      }
      if (among(arg, flags)) {
        (arg == "--json" ? parsed.json : parsed.help) = true;
      } else if (i + 1 == args.size()) {
        return false;
      } else if (!setValue(arg, args[++i], parsed, reason)) {
        what = arg;
        return false;
      }
    } else if (parsed.file.empty() && arg.empty()) {
      reason = common::emptyPathReason;
      return false;
    } else if (parsed.file.empty() && arg[0] != '-') {
      parsed.file = arg;
    } else {
      return false;
    }
  }
  if (parsed.help) return true;
  if (parsed.file.empty()) return false;
  for (const char* option : {"--size", "--view"}) {
    if (seen.count(option) && parsed.png.empty()) {
      what = option;
      reason = "only with --png";
      return false;
    }
  }
  return distinctOutputs(parsed, what, reason);
}

}  // namespace inspector

#include "options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "threedb/format.h"

namespace importer {
namespace {

bool endsWith(const std::string& text, std::string_view ending) {
  if (text.size() < ending.size()) return false;
  for (std::size_t i = 0; i < ending.size(); ++i) {
    char c = text[text.size() - ending.size() + i];
    if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != ending[i]) return false;
  }
  return true;
}

// A finite number other than 0, the whole text; positive when asked.
bool number(const std::string& text, float& value, bool positive) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  double parsed = std::strtod(text.c_str(), &end);
  if (*end != '\0' || errno != 0 || !std::isfinite(parsed) || std::fabs(parsed) > 3.0e38)
    return false;
  value = float(parsed);
  return value != 0 && (!positive || value > 0);
}

bool whole(const std::string& text, unsigned long long least, unsigned long long limit,
           unsigned long long& value) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoull(text.c_str(), &end, 10);
  return *end == '\0' && errno == 0 && value >= least && value <= limit;
}

// A colour as RRGGBB or RRGGBBAA in hex (opaque unless given), packed as the 3DB format's word.
bool colourWord(const std::string& text, std::uint32_t& word) {
  if (text.size() != 6 && text.size() != 8) return false;
  std::uint8_t channels[4] = {0, 0, 0, 255};
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return false;
    channels[i / 2] = std::uint8_t(i % 2 == 0 ? digit << 4 : channels[i / 2] | digit);
  }
  word = threedb::packColour(channels[0], channels[1], channels[2], channels[3]);
  return true;
}

}  // namespace

namespace {

// The options that take no value, and what each sets.
struct Flag {
  const char* name;
  void (*set)(Options&);
};
constexpr Flag flags[] = {
    {"--split", [](Options& o) { o.shape.split = true; }},
    {"--keep-order", [](Options& o) { o.shape.keepOrder = true; }},
    {"--center", [](Options& o) { o.shape.center = true; }},
    {"--flip-winding", [](Options& o) { o.shape.flipWinding = true; }},
    {"--list", [](Options& o) { o.list = true; }},
    {"--quiet", [](Options& o) { o.quiet = true; }},
    {"--times", [](Options& o) { o.times = true; }},
};

// The options that take a value. Sets what `arg` asks with `text`, its value (null when the
// command line ends first); false with the reason when the value does not do. `known` is false
// for an argument that is none of them.
bool valueOption(const std::string& arg, const std::string* text, Options& options, bool& known,
                 std::string& reason) {
  known = true;
  float f = 0;
  unsigned long long n = 0;
  std::uint32_t word = 0;
  if (arg == "--mesh") {
    if (!text) return reason = "takes the name of a mesh", false;
    options.meshes.push_back(*text);
  } else if (arg == "--up") {
    if (!text || (*text != "z" && *text != "y"))
      return reason = "takes z (or y, the default)", false;
    options.shape.zUp = *text == "z";
  } else if (arg == "--colour") {
    if (text && *text == "model") return options.colour.reset(), true;
    if (!text || !colourWord(*text, word))
      return reason = "takes RRGGBB or RRGGBBAA in hex, or model", false;
    options.colour = word;
  } else if (arg == "--max-vertices") {
    // Fewer than three vertices make no triangle.
    if (!text || !whole(*text, 3, maxDeviceVertices, n))
      return reason = "takes a whole number from 3 to 65536", false;
    options.shape.maxVertices = std::uint32_t(n);
  } else if (arg == "--fit" || arg == "--scale") {
    if (!text || !number(*text, f, arg == "--fit"))
      return reason =
                 arg == "--fit" ? "takes a positive number" : "takes a finite number other than 0",
             false;
    (arg == "--fit" ? options.shape.fit : options.shape.scale) = f;
  } else if (arg == "--reader-memory" || arg == "--reader-seconds") {
    if (!text || !whole(*text, 1, 1u << 20, n)) return reason = "takes a whole number", false;
    if (arg == "--reader-memory") options.limits.memoryMiB = n;
    if (arg == "--reader-seconds")
      options.limits.seconds = unsigned(n), options.limits.wallSeconds = 2 * unsigned(n);
  } else {
    known = false;
  }
  return true;
}

// The model and the output named on the command line; false where they are not as the usage
// says, with `what` and `reason` set where something more than the usage is to be said.
bool takePaths(const std::vector<std::string>& paths, Options& options, std::string& what,
               std::string& reason) {
  if (paths.size() != 2 && !(options.list && paths.size() == 1)) return false;
  options.model = paths[0];
  if (options.list) return paths[0].empty() ? (reason = "the path is empty", false) : true;
  options.output = paths[1];
  for (const std::string& path : paths)
    if (path.empty()) return reason = "the path is empty", false;
  if (endsWith(options.output, ".3db")) {
    options.kind = OutputKind::binary;
  } else if (endsWith(options.output, ".msh") || endsWith(options.output, ".smsh")) {
    options.kind = OutputKind::text;
  } else {
    what = options.output;
    reason = "the output must end in .3db, .msh or .smsh";
    return false;
  }
  return true;
}

}  // namespace

bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& what,
                  std::string& reason) {
  std::vector<std::string> paths;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    what = arg;
    if (arg == "--help" || arg == "--version") {
      (arg == "--help" ? options.help : options.version) = true;
      return true;
    }
    const Flag* flag = std::find_if(std::begin(flags), std::end(flags),
                                    [&](const Flag& f) { return arg == f.name; });
    if (flag != std::end(flags)) {
      flag->set(options);
      continue;
    }
    bool known = false;
    const std::string* text = i + 1 < args.size() ? &args[i + 1] : nullptr;
    if (!valueOption(arg, text, options, known, reason)) return false;
    if (known) {
      ++i;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return reason = "is not an option of vorlatic-import", false;
    } else {
      paths.push_back(arg);
    }
  }
  what.clear();  // the usage text says it all, unless takePaths has more to say
  return takePaths(paths, options, what, reason);
}

}  // namespace importer

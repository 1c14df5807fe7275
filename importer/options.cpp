#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

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

bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& what,
                  std::string& reason) {
  std::vector<std::string> paths;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
    what = arg;
    float f = 0;
    unsigned long long n = 0;
    if (arg == "--help" || arg == "--version") {
      (arg == "--help" ? options.help : options.version) = true;
      return true;
    } else if (arg == "--split") {
      options.shape.split = true;
    } else if (arg == "--keep-order") {
      options.shape.keepOrder = true;
    } else if (arg == "--center") {
      options.shape.center = true;
    } else if (arg == "--flip-winding") {
      options.shape.flipWinding = true;
    } else if (arg == "--list") {
      options.list = true;
    } else if (arg == "--mesh") {
      const std::string* name = value();
      if (!name) return reason = "takes the name of a mesh", false;
      options.meshes.push_back(*name);
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--times") {
      options.times = true;
    } else if (arg == "--up") {
      const std::string* axis = value();
      if (!axis || (*axis != "z" && *axis != "y"))
        return reason = "takes z (or y, the default)", false;
      options.shape.zUp = *axis == "z";
    } else if (arg == "--colour") {
      const std::string* text = value();
      std::uint32_t word = 0;
      if (text && *text == "model") {
        options.colour.reset();
      } else {
        if (!text || !colourWord(*text, word))
          return reason = "takes RRGGBB or RRGGBBAA in hex, or model", false;
        options.colour = word;
      }
    } else if (arg == "--max-vertices") {
      const std::string* text = value();
      // Fewer than three vertices make no triangle.
      if (!text || !whole(*text, 3, maxDeviceVertices, n))
        return reason = "takes a whole number from 3 to 65536", false;
      options.shape.maxVertices = std::uint32_t(n);
    } else if (arg == "--fit" || arg == "--scale") {
      const std::string* text = value();
      if (!text || !number(*text, f, arg == "--fit"))
        return reason = arg == "--fit" ? "takes a positive number"
                                       : "takes a finite number other than 0",
               false;
      (arg == "--fit" ? options.shape.fit : options.shape.scale) = f;
    } else if (arg == "--reader-memory" || arg == "--reader-seconds") {
      const std::string* text = value();
      if (!text || !whole(*text, 1, 1u << 20, n)) return reason = "takes a whole number", false;
      if (arg == "--reader-memory") {
        options.limits.memoryMiB = n;
      } else {
        options.limits.seconds = unsigned(n);
        options.limits.wallSeconds = 2 * unsigned(n);
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return reason = "is not an option of vorlatic-import", false;
    } else {
      paths.push_back(arg);
    }
  }
  what.clear();
  // The usage text says it all.
  if (paths.size() != 2 && !(options.list && paths.size() == 1)) return false;
  options.model = paths[0];
  if (options.list) return paths[0].empty() ? (reason = "the path is empty", false) : true;
  options.output = paths[1];
  for (const std::string& path : paths) {
    if (path.empty()) {
      reason = "the path is empty";
      return false;
    }
  }
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

}  // namespace importer

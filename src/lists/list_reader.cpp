#include "lists/list_reader.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "lists/input_name.h"
#include "util/text_util.h"
#include "vexutil/util.h"

namespace vex::lists {
namespace {

constexpr int32_t kNoLimit = INT32_MAX;

// Numbers a pattern can name: 10^(its '?' count), or no limit from ten
// digits on (every non-negative 32-bit number fits).
int32_t digit_limit(const char *pattern) {
  const auto digits = std::count(pattern, pattern + std::strlen(pattern), '?');
  int64_t limit = 1;
  for (int i = 0; i < digits && limit <= kNoLimit; ++i)
    limit *= 10;
  return limit > kNoLimit ? kNoLimit : static_cast<int32_t>(limit);
}

// The file (not a folder), or for a name without extension a file of that
// name with any extension (the sources try their default extensions on
// such names).
bool file_exists(const std::string &name) {
  struct stat st;
  if (::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
    return true;
  if (HasExtension(name.c_str()))
    return false;
  const size_t slash = name.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
  const std::string stem = (slash == std::string::npos ? name : name.substr(slash + 1)) + ".";
  DIR *d = ::opendir(folder.c_str());
  if (!d)
    return false;
  bool found = false;
  while (const dirent *e = ::readdir(d))
    if (std::strncmp(e->d_name, stem.c_str(), stem.size()) == 0) {
      found = true;
      break;
    }
  ::closedir(d);
  return found;
}

// What a line's trailing switch words say. `literal`: the line is a name as
// it stands (it names a file, or has neither switches nor '?').
struct LineSwitches {
  bool literal = true;
  int32_t first = 0, last = 0, uses = 1;
};

// Reads w[0, n) as one switch word: '/', S, E or L in either case, an
// optional minus sign and at least one digit, nothing else.
bool read_switch_word(const char *w, size_t n, LineSwitches &sw) {
  if (n < 3 || w[0] != '/')
    return false;
  const char letter = util::upper(w[1]);
  if (letter != 'S' && letter != 'E' && letter != 'L')
    return false;
  const size_t digits = w[2] == '-' ? 3 : 2;
  if (digits == n)
    return false;
  for (size_t i = digits; i < n; ++i)
    if (!util::is_digit(w[i]))
      return false;
  const int32_t value = atou32(w + 2); // stops at the blank after the word
  if (letter == 'S')
    sw.first = value;
  else if (letter == 'E')
    sw.last = value;
  else
    sw.uses = value;
  return true;
}

// The length of the line without its trailing run of switch words, whose
// values go into sw (of a letter given twice, the first word counts). A
// word is taken only while a name stands before it: text that does not
// end in '/'. The line has no blanks at either end.
size_t without_switches(const char *line, LineSwitches &sw) {
  size_t end = std::strlen(line);
  for (;;) {
    size_t start = end;
    while (start > 0 && !util::is_blank(line[start - 1]))
      --start;
    size_t before = start;
    while (before > 0 && util::is_blank(line[before - 1]))
      --before;
    if (before == 0 || line[before - 1] == '/' || !read_switch_word(line + start, end - start, sw))
      return end;
    end = before;
  }
}

// The switches of a trimmed line. A line that names a file keeps all of
// itself; otherwise its trailing switch words are cut off and read.
// Switch-looking text anywhere else (a folder "s5", a file "s24x.wav", a
// word in the middle) is part of the name.
LineSwitches take_switches(char *line) {
  LineSwitches sw;
  const size_t plain = without_switches(line, sw);
  if ((line[plain] == '\0' && !std::strchr(line, '?')) || file_exists(line))
    return LineSwitches{};
  line[plain] = '\0';
  sw.literal = false;
  return sw;
}

// Step 2: the next number of an active series, if there is one.
bool series_entry(ListState s, ListEntry &entry) {
  if (s.end == 0)
    return false;
  const bool open_ended = s.end < 0;
  const int32_t end = open_ended ? -s.end : s.end;
  if (s.counter < 0 || s.counter >= end)
    return false;
  const std::string name = series_name(s.pattern, static_cast<uint32_t>(s.counter));
  if (open_ended && !file_exists(name)) {
    s.end = std::max(s.counter, 1); // ended; still "started" for the wrap test
    s.counter = s.end;
    return false;
  }
  copy_text(entry.name, kEntryChars, name.c_str());
  entry.first = entry.last = 0;
  ++s.counter;
  return true;
}

// Reads the '*first[-last]' part of a series line and cuts the line there.
void take_number_range(char *line, int32_t &first, int32_t &last) {
  char *star = std::strchr(std::strchr(line, '?'), '*');
  if (!star)
    return;
  *star = '\0';
  const char *p = star + 1;
  first = atou32(p);
  if (*p == '-')
    ++p;
  while (util::is_digit(*p))
    ++p;
  last = *p == '-' ? atou32(p + 1) : 0;
}

// Step 5: arms the series of `line`. True when its first name is out.
// A started series always has a non-zero end: positive, the exclusive end
// of a bounded series; negative, minus the digit limit of an open-ended one.
bool start_series(ListState s, char *line, int32_t first, int32_t last, ListEntry &entry) {
  take_number_range(line, first, last);
  Trim(line);
  const bool started_before = s.end != 0;
  copy_text(s.pattern, kEntryChars, line);
  const int32_t limit = digit_limit(s.pattern);
  s.counter = std::max(first, 0);
  if (last <= 0)
    s.end = -limit;
  else
    s.end = static_cast<int32_t>(std::min<int64_t>(int64_t{last} + 1, limit));
  if (!s.file && started_before)
    return false;
  return series_entry(s, entry);
}

} // namespace

std::string series_name(const char *pattern, uint32_t k) {
  std::string name(pattern);
  for (auto it = name.rbegin(); it != name.rend(); ++it)
    if (*it == '?') {
      *it = static_cast<char>('0' + k % 10);
      k /= 10;
    }
  return name;
}

bool is_list_name(const char *name) {
  const char *ext = HasExtension(name);
  return ext && std::strlen(ext) == 4 && util::upper(ext[1]) == 'L' && util::upper(ext[2]) == 'S' &&
         util::upper(ext[3]) == 'T';
}

bool next_entry(ListState s, const char *source_name, ListEntry &entry) {
  entry = ListEntry{};
  if (s.repeat > 0) {
    --s.repeat;
    copy_text(entry.name, kEntryChars, s.repeated);
    entry.first = s.repeated_first;
    entry.last = s.repeated_last;
    return true;
  }
  if (series_entry(s, entry))
    return true;
  for (;;) {
    char line[kEntryChars];
    if (s.file) {
      if (VEXFileAtEnd(s.file)) {
        VEXFileSetPos(s.file, 0);
        return false;
      }
      VEXFileGetLine(s.file, line, static_cast<int32_t>(kEntryChars));
    } else {
      copy_text(line, kEntryChars, source_name ? source_name : "");
    }
    Trim(line);
    if (line[0] == '#')
      line[0] = '\0';
    const LineSwitches sw = take_switches(line);
    s.repeat = 0;
    if (!sw.literal && std::strchr(line, '?')) {
      if (start_series(s, line, sw.first, sw.last, entry))
        return true;
      if (!s.file)
        return false; // the end marker
      continue;       // an empty series in a list file: on to the next line
    }
    if (line[0] != '\0') {
      if (!s.file) { // the only line: once, then the end marker, then again
        if (s.counter < 0) {
          s.counter = 0;
          return false;
        }
        s.counter = -1;
      }
      copy_text(entry.name, kEntryChars, line);
      entry.first = sw.first;
      entry.last = sw.last;
      s.repeat = sw.uses > 1 ? sw.uses - 1 : 0;
      if (s.repeat >= 1) {
        copy_text(s.repeated, kRepeatedChars, line);
        s.repeated_first = sw.first;
        s.repeated_last = sw.last;
      }
      return false;
    }
    if (!s.file)
      return false;
  }
}

void rewind_list(ListState s) {
  if (s.file)
    VEXFileSetPos(s.file, 0);
  s.counter = 0;
  s.end = 0;
  s.repeat = 0;
}

} // namespace vex::lists

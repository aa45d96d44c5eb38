#include "lists/list_nesting.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

namespace vex::lists {
namespace {

struct Walk {
  std::vector<std::string> open_lists; // full paths, outermost first
  uint32_t entries = 0;
  std::string problem;
};

thread_local Walk walk;

std::string full_path(const char *name) {
  char path[PATH_MAX];
  return ::realpath(name, path) ? std::string(path) : std::string(name);
}

} // namespace

bool ListNesting::enter(const char *name) {
  if (!walk.problem.empty())
    return false;
  const std::string path = full_path(name);
  for (const std::string &open : walk.open_lists)
    if (open == path) {
      walk.problem = "The list file " + path + " names itself.";
      return false;
    }
  if (walk.open_lists.size() >= kMaxListDepth) {
    walk.problem = "Lists nest more than " + std::to_string(kMaxListDepth) + " deep at " + path + ".";
    return false;
  }
  walk.open_lists.push_back(path);
  entered_ = true;
  return true;
}

bool ListNesting::count_entry() { return count_again(1); }

uint32_t ListNesting::counted() const { return walk.entries; }

bool ListNesting::count_again(uint32_t n) {
  if (!walk.problem.empty())
    return false;
  walk.entries += std::min(n, kMaxListEntries + 1 - walk.entries); // entries never exceeds the budget plus one
  if (walk.entries > kMaxListEntries) {
    walk.problem = "The list names more than " + std::to_string(kMaxListEntries) + " entries.";
    return false;
  }
  return true;
}

std::string ListNesting::problem() const { return walk.problem; }

bool ListNesting::outermost() const { return entered_ && walk.open_lists.size() == 1; }

ListNesting::~ListNesting() {
  if (!entered_)
    return;
  walk.open_lists.pop_back();
  if (walk.open_lists.empty()) { // the outermost open is over
    walk.entries = 0;
    walk.problem.clear();
  }
}

} // namespace vex::lists

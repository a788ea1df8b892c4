#include "compare/compare.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "compare/report_reader.h"
#include "core/text.h"
#include "platform/escape.h"
#include "terms/terms.h"

namespace vesk {
namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kAdded = 0x80000000u;  // an index into the added keys

bool isSeparator(char c, bool windows) {
  return c == '/' || (windows && c == '\\');
}

// Paths below a walk's start are full paths: a drive or a server share on
// Windows; on Linux they begin with "/" (or, inside an image, with the
// image's path as given), where a backslash always begins an escape.
bool windowsPath(const std::string& path) {
  auto letter = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  };
  if (path.size() >= 3 && letter(path[0]) && path[1] == ':' &&
      isSeparator(path[2], true))
    return true;
  return path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
}

std::string lastName(const std::string& path, bool windows) {
  size_t end = path.size();
  while (end > 0 && isSeparator(path[end - 1], windows)) --end;
  size_t start = end;
  while (start > 0 && !isSeparator(path[start - 1], windows)) --start;
  return path.substr(start, end - start);
}

// What the paths below the first object begin with, from the first object's
// path and the second's. The walk prints the start path as given and the
// objects below it by their full path, the first child right after the
// start.
std::string prefixOf(const std::string& first, const std::string& second,
                     bool windows) {
  if (second.size() > first.size() &&
      second.compare(0, first.size(), first) == 0) {
    if (!first.empty() && isSeparator(first.back(), windows)) return first;
    if (isSeparator(second[first.size()], windows))
      return second.substr(0, first.size() + 1);
  }
  size_t last = second.size();
  while (last > 0 && !isSeparator(second[last - 1], windows)) --last;
  if (last == 0) return std::string();
  const std::string dir = second.substr(0, last);
  const std::string name = lastName(first, windows);
  if (name.empty() || name == "." || name == ".." ||
      lastName(dir, windows) == name)
    return dir;
  // A view may have left out the start's first children: the start is the
  // nearest directory of that name.
  for (size_t at = last - 1; at > 0; --at) {
    if (!isSeparator(second[at - 1], windows) ||
        second.compare(at, name.size(), name) != 0 ||
        at + name.size() >= second.size() ||
        !isSeparator(second[at + name.size()], windows))
      continue;
    return second.substr(0, at + name.size() + 1);
  }
  return dir;
}

}  // namespace

bool relativeKey(PathBase* base, const std::string& path, std::string* key,
                 std::string* error) {
  key->clear();
  if (base->seen == 0) {
    base->first = path;
    base->seen = 1;
    return true;
  }
  if (path == base->first) return true;  // the first object again
  if (base->seen == 1) {
    base->windows = windowsPath(path);
    base->prefix = prefixOf(base->first, path, base->windows);
    base->seen = 2;
  }
  const std::string& prefix = base->prefix;
  if (!prefix.empty() && path.size() > prefix.size() &&
      path.compare(0, prefix.size(), prefix) == 0) {
    const bool windows = base->windows;
    size_t at = prefix.size();
    while (at < path.size()) {
      size_t end = at;
      while (end < path.size() && !isSeparator(path[end], windows)) ++end;
      if (end > at) {
        if (!key->empty()) *key += '/';
        if (windows || path.find('\\', at) >= end)
          key->append(path, at, end - at);
        else
          *key += unescapedText(path.substr(at, end - at));
      }
      at = end + 1;
    }
    if (!key->empty()) return true;
  }
  *error =
      path + " does not lie below the report's first object, " + base->first;
  return false;
}

std::string shownKey(const std::string& key) {
  if (key.empty()) return ".";
  return platform::escapedControls(key, true);
}

namespace {

// Each distinct text once: equal ids, equal texts.
struct Pool {
  std::unordered_map<std::string, uint32_t> ids;
  std::vector<const std::string*> texts;

  uint32_t add(const std::string& text) {
    const auto found = ids.find(text);
    if (found != ids.end()) return found->second;
    const auto made =
        ids.emplace(text, static_cast<uint32_t>(texts.size())).first;
    texts.push_back(&made->first);
    return made->second;
  }
  const std::string& text(uint32_t id) const { return *texts[id]; }
};

// Keys in the order they were added, found through an open-addressed table.
struct Keys {
  std::string text;                // every key, one after the other
  std::vector<uint32_t> start{0};  // key i is text[start[i], start[i + 1])
  // The low half of the key's hash, then its index + 1; 0 is free.
  std::vector<uint64_t> slots;

  size_t size() const { return start.size() - 1; }
  std::string_view key(size_t i) const {
    return std::string_view(text).substr(start[i], start[i + 1] - start[i]);
  }
};

// The objects of one report, in its order: the ids of their headers and
// entries, and where each begins in the report.
struct Objects {
  std::string name;
  PathBase base;
  std::vector<uint32_t> flags, owner, entries, line;
  bool owners = false;

  size_t size() const { return line.size(); }
};

char lower(char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// Keys that differ only in letter case hash alike, so that one probe finds
// both an equal key and, for a Windows report, one Windows would take for it.
// Eight bytes at a time, ASCII capitals folded in place.
uint32_t hashKey(std::string_view key) {
  constexpr uint64_t kHigh = 0x8080808080808080ull;
  uint64_t hash = 0x9E3779B97F4A7C15ull ^ key.size();
  for (size_t at = 0; at < key.size(); at += 8) {
    uint64_t word = 0;
    std::memcpy(&word, key.data() + at, std::min<size_t>(8, key.size() - at));
    const uint64_t low = word & ~kHigh;
    const uint64_t capital = (low + 0x3F3F3F3F3F3F3F3Full) &
                             ~(low + 0x2525252525252525ull) & ~word & kHigh;
    word |= capital >> 2;
    hash = (hash ^ word) * 0xff51afd7ed558ccdull;
    hash ^= hash >> 32;
  }
  hash ^= hash >> 33;
  hash *= 0xc4ceb9fe1a85ec53ull;
  return static_cast<uint32_t>(hash ^ (hash >> 33));
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

uint32_t findKey(const Keys& keys, std::string_view key, uint32_t hash,
                 bool ignoringCase) {
  if (keys.slots.empty()) return kNone;
  const size_t mask = keys.slots.size() - 1;
  for (size_t at = hash & mask;; at = (at + 1) & mask) {
    const uint64_t slot = keys.slots[at];
    if (slot == 0) return kNone;
    if (static_cast<uint32_t>(slot >> 32) != hash) continue;
    const uint32_t index = static_cast<uint32_t>(slot) - 1;
    const std::string_view other = keys.key(index);
    if (ignoringCase ? sameIgnoringCase(other, key) : other == key)
      return index;
  }
}

void placeKey(std::vector<uint64_t>* slots, uint32_t hash, size_t index) {
  const size_t mask = slots->size() - 1;
  size_t at = hash & mask;
  while ((*slots)[at] != 0) at = (at + 1) & mask;
  (*slots)[at] = (static_cast<uint64_t>(hash) << 32) | (index + 1);
}

// false when the keys outgrow the table's 32-bit offsets.
bool addKey(Keys* keys, const std::string& key, uint32_t hash) {
  if (keys->text.size() + key.size() >= kNone || keys->size() + 1 >= kNone / 2)
    return false;
  keys->text += key;
  keys->start.push_back(static_cast<uint32_t>(keys->text.size()));
  if (keys->size() * 2 > keys->slots.size()) {
    std::vector<uint64_t> grown(std::max<size_t>(1024, keys->slots.size() * 2));
    for (uint64_t slot : keys->slots)
      if (slot != 0) placeKey(&grown, slot >> 32, (slot & kNone) - 1);
    keys->slots.swap(grown);
  }
  placeKey(&keys->slots, hash, keys->size() - 1);
  return true;
}

// Ids of the texts of objects, asking the pool only when a text differs
// from the one before it, as it rarely does in a walk.
struct Interner {
  Pool* pool = nullptr;
  uint32_t flags = kNone, owner = kNone, entries = kNone;
  std::string ownerText;

  uint32_t id(const std::string& text, uint32_t* last) {
    if (*last == kNone || pool->text(*last) != text) *last = pool->add(text);
    return *last;
  }
  void add(Objects* objects, const ReportObject& object) {
    objects->flags.push_back(id(object.flags, &flags));
    // "" for no owner; a named owner carries a mark, so that an owner of
    // no name still differs from none.
    ownerText.clear();
    if (object.owned) (ownerText += '=') += object.owner;
    objects->owner.push_back(id(ownerText, &owner));
    objects->entries.push_back(id(object.entries, &entries));
    objects->line.push_back(
        static_cast<uint32_t>(std::min<uint64_t>(object.line, kNone)));
    objects->owners = objects->owners || object.owned;
  }
};

void say(FILE* err, const std::string& text) {
  const std::string line = "vesk-diff: " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), err);
}

// What is wrong with an object of a report, or "".
using KeyCheck = std::function<std::string(const std::string& key,
                                           const ReportObject& object)>;

// Reads a report, keys each object and hands it to check.
bool load(const DiffInput& input, Objects* objects, FILE* err,
          const KeyCheck& check) {
  objects->name = input.name;
  ReportReader reader;
  reader.ownerLabel = std::string(term(kGlobalFlags, 2)) + " ";
  std::string key;
  std::string problem;
  const ObjectSink sink = [&](const ReportObject& object) {
    if (!problem.empty()) return;
    std::string why;
    if (!relativeKey(&objects->base, object.path, &key, &why))
      problem = why;
    else
      problem = check(key, object);
    if (!problem.empty())
      problem = "line " + std::to_string(object.line) + ": " + problem;
  };
  // The stream buffers too: a larger block saves nothing and costs a page
  // fault per page of it on every report read.
  std::vector<char> buffer(1 << 16);
  bool good = true;
  for (;;) {
    const size_t got =
        std::fread(buffer.data(), 1, buffer.size(), input.stream);
    if (got == 0) break;
    good =
        readReportBytes(&reader, buffer.data(), got, sink) && problem.empty();
    if (!good) break;
  }
  if (good && std::ferror(input.stream)) {
    say(err, input.name + ": cannot be read");
    return false;
  }
  if (good) good = endReport(&reader, sink) && problem.empty();
  if (!good) {
    say(err, input.name + ": " + (problem.empty() ? reader.error : problem));
    return false;
  }
  return true;
}

// The new object whose key is added key number added.
uint32_t twinOfAdded(const std::vector<uint32_t>& oldOfNew, uint32_t added) {
  for (size_t j = 0; j < oldOfNew.size(); ++j)
    if (oldOfNew[j] == (kAdded | added)) return static_cast<uint32_t>(j);
  return 0;
}

std::string twice(const std::string& key, bool exact, uint32_t line) {
  return "the object " + shownKey(key) + " is reported twice" +
         (exact ? "" : " (names that differ only in letter case)") +
         ", first at line " + std::to_string(line);
}

std::vector<std::string_view> linesOf(const std::string& text) {
  std::vector<std::string_view> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    lines.push_back(std::string_view(text).substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

// Writes the changes as it finds them.
struct Printer {
  FILE* out;
  bool flat;
  bool ownersCompared;
  const Pool* pool;
  DiffSummary* summary;
  std::string buffer;

  void flush() {
    std::fwrite(buffer.data(), 1, buffer.size(), out);
    buffer.clear();
  }
  void line(const std::string& text) {
    buffer += text;
    buffer += '\n';
    if (buffer.size() > (1 << 16)) flush();
  }
  std::string ownerName(const Objects& side, size_t i) const {
    const std::string& owner = pool->text(side.owner[i]);
    return ownersCompared && !owner.empty() ? owner.substr(1) : std::string();
  }
  // The header of an object without its path, as its block prints it, or
  // as the flags and owner columns of a /tsv line.
  std::string header(const Objects& side, size_t i) const {
    const std::string& flags = pool->text(side.flags[i]);
    if (flat) return flags + "\t" + ownerName(side, i);
    if (!ownersCompared || pool->text(side.owner[i]).empty()) return flags;
    return flags + "\t" + term(kGlobalFlags, 2) + " " + ownerName(side, i);
  }
  void object(char mark, const Objects& side, size_t i, std::string_view key) {
    const std::string shown = shownKey(std::string(key));
    if (flat)
      line(std::string(1, mark) + "\tobject\t" + shown + "\t" +
           header(side, i) + "\t\t\t\t");
    else
      line(std::string(1, mark) + "\t" + shown);
  }
  void entry(char mark, const Objects& side, size_t i, const std::string& shown,
             std::string_view text) {
    if (!flat) {
      line(std::string(1, mark) + "\t" + std::string(text));
      return;
    }
    std::string columns[4];
    entryLineColumns(std::string(text), columns);
    line(std::string(1, mark) + "\tentry\t" + shown + "\t" + header(side, i) +
         "\t" + columns[0] + "\t" + columns[1] + "\t" + columns[2] + "\t" +
         columns[3]);
  }

  // Whether the object changed; if so, prints how.
  void compare(const Objects& older, size_t i, const Objects& newer, size_t j,
               std::string_view key) {
    const bool headerChanged =
        older.flags[i] != newer.flags[j] ||
        (ownersCompared && older.owner[i] != newer.owner[j]);
    std::vector<std::string_view> gone, come;
    if (older.entries[i] != newer.entries[j]) {
      std::vector<std::string_view> before =
          linesOf(pool->text(older.entries[i]));
      std::vector<std::string_view> after =
          linesOf(pool->text(newer.entries[j]));
      std::sort(before.begin(), before.end());
      std::sort(after.begin(), after.end());
      std::set_difference(before.begin(), before.end(), after.begin(),
                          after.end(), std::back_inserter(gone));
      std::set_difference(after.begin(), after.end(), before.begin(),
                          before.end(), std::back_inserter(come));
    }
    if (!headerChanged && gone.empty() && come.empty()) return;
    ++summary->changed;
    summary->entriesRemoved += gone.size();
    summary->entriesAdded += come.size();
    const std::string shown = shownKey(std::string(key));
    if (!flat) line("~\t" + shown);
    if (headerChanged) {
      if (flat) {
        line("-\theader\t" + shown + "\t" + header(older, i) + "\t\t\t\t");
        line("+\theader\t" + shown + "\t" + header(newer, j) + "\t\t\t\t");
      } else {
        line("<\t" + header(older, i));
        line(">\t" + header(newer, j));
      }
    }
    for (std::string_view text : gone) entry('-', older, i, shown, text);
    for (std::string_view text : come) entry('+', newer, j, shown, text);
  }
};

}  // namespace

int compareReports(const DiffInput& older, const DiffInput& newer, bool flat,
                   FILE* out, FILE* err, DiffSummary* summary) {
  *summary = DiffSummary();
  Pool pool;
  Interner interner;
  interner.pool = &pool;

  // The old report whole; of the new one only what it adds is kept by key.
  Keys oldKeys;
  Objects before;
  const bool oldRead = load(
      older, &before, err,
      [&](const std::string& key, const ReportObject& object) -> std::string {
        const uint32_t hash = hashKey(key);
        const uint32_t twin = findKey(oldKeys, key, hash, before.base.windows);
        if (twin != kNone)
          return twice(key, oldKeys.key(twin) == key, before.line[twin]);
        if (!addKey(&oldKeys, key, hash)) return "too many objects";
        interner.add(&before, object);
        return std::string();
      });
  if (!oldRead) return 2;

  interner = Interner();  // the new report's runs of equal texts
  interner.pool = &pool;
  Keys addedKeys;
  Objects after;
  std::vector<uint32_t> oldOfNew;  // an old index, or kAdded | added index
  std::vector<uint32_t> newOfOld(before.size(), kNone);
  const bool newRead = load(
      newer, &after, err,
      [&](const std::string& key, const ReportObject& object) -> std::string {
        const bool windows = after.base.windows;
        const uint32_t j = static_cast<uint32_t>(after.size());
        // Reports of one tree mostly list it in one order: the object after
        // the last one matched is tried first, without hashing. A name
        // that differs only in case from an added one may hide behind a
        // Windows match, so those take the table.
        const uint32_t next = j == 0 || oldOfNew.back() & kAdded
                                  ? (j == 0 ? 0 : kNone)
                                  : oldOfNew.back() + 1;
        if (!windows && next < before.size() && newOfOld[next] == kNone &&
            oldKeys.key(next) == key) {
          newOfOld[next] = j;
          oldOfNew.push_back(next);
          interner.add(&after, object);
          return std::string();
        }
        const uint32_t hash = hashKey(key);
        uint32_t twin = findKey(addedKeys, key, hash, windows);
        if (twin != kNone)
          return twice(key, addedKeys.key(twin) == key,
                       after.line[twinOfAdded(oldOfNew, twin)]);
        const uint32_t i = findKey(oldKeys, key, hash, false);
        twin = windows && i == kNone ? findKey(oldKeys, key, hash, true) : i;
        if (twin != kNone && newOfOld[twin] != kNone)
          return twice(key, twin == i, after.line[newOfOld[twin]]);
        if (i != kNone) {
          newOfOld[i] = j;
          oldOfNew.push_back(i);
        } else {
          if (addedKeys.size() >= kAdded || !addKey(&addedKeys, key, hash))
            return "too many objects";
          oldOfNew.push_back(kAdded |
                             static_cast<uint32_t>(addedKeys.size() - 1));
        }
        interner.add(&after, object);
        return std::string();
      });
  if (!newRead) return 2;

  const bool ownersCompared = before.owners == after.owners;
  if (!ownersCompared)
    say(err, (before.owners ? older.name : newer.name) +
                 " names owners (/o) and " +
                 (before.owners ? newer.name : older.name) +
                 " does not: owners are not compared");

  // A removed object is printed after the new place of the nearest object
  // before it in the old report that is still there (slot j + 1), or first
  // (slot 0): a counting sort, so that the order stays linear.
  std::vector<uint32_t> slotStart(after.size() + 2, 0);
  uint32_t slot = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    if (newOfOld[i] != kNone)
      slot = newOfOld[i] + 1;
    else
      ++slotStart[slot + 1];
  }
  for (size_t s = 1; s < slotStart.size(); ++s)
    slotStart[s] += slotStart[s - 1];
  std::vector<uint32_t> removed(slotStart.back());
  {
    std::vector<uint32_t> fill(slotStart.begin(), slotStart.end() - 1);
    slot = 0;
    for (size_t i = 0; i < before.size(); ++i) {
      if (newOfOld[i] != kNone)
        slot = newOfOld[i] + 1;
      else
        removed[fill[slot]++] = static_cast<uint32_t>(i);
    }
  }

  Printer printer{out, flat, ownersCompared, &pool, summary, std::string()};
  auto printRemoved = [&](size_t s) {
    for (uint32_t k = slotStart[s]; k < slotStart[s + 1]; ++k) {
      printer.object('-', before, removed[k], oldKeys.key(removed[k]));
      ++summary->removed;
    }
  };
  printRemoved(0);
  for (size_t j = 0; j < after.size(); ++j) {
    const uint32_t i = oldOfNew[j];
    if (i & kAdded) {
      printer.object('+', after, j, addedKeys.key(i & ~kAdded));
      ++summary->added;
    } else {
      printer.compare(before, i, after, j, oldKeys.key(i));
    }
    printRemoved(j + 1);
  }
  printer.flush();
  std::fflush(out);
  if (std::ferror(out)) {
    say(err, "the changes could not be written");
    return 2;
  }
  return summary->added || summary->removed || summary->changed ? 1 : 0;
}

}  // namespace vesk

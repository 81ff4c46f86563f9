// The memory a file may ask for, measured from the system's own accounts.
#include "formats/memory_budget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string_view>

#include "formats/memory_budget_testing.h"

namespace {

constexpr uint64_t kUnlimited = std::numeric_limits<uint64_t>::max();

std::atomic<bool> testing{false};
std::atomic<uint64_t> testingBytes{0};

uint64_t LessOrZero(uint64_t a, uint64_t b) {
  return a > b ? a - b : 0;
}

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The number at the start of `text`, skipping blanks; nullopt when there is none.
std::optional<uint64_t> LeadingNumber(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  return value;
}

// A field of /proc/meminfo in bytes ("MemAvailable:   123 kB").
std::optional<uint64_t> MemInfoField(const std::string& info, std::string_view name) {
  size_t at = info.find(name);
  while (at != std::string::npos && at != 0 && info[at - 1] != '\n') at = info.find(name, at + 1);
  if (at == std::string::npos) return std::nullopt;
  const std::optional<uint64_t> kilobytes =
      LeadingNumber(std::string_view(info).substr(at + name.size()));
  if (!kilobytes) return std::nullopt;
  return *kilobytes * 1024;
}

// What the machine has free: memory the kernel can hand out without swapping, and free swap.
uint64_t MachineFree() {
  const std::string info = ReadSmallFile("/proc/meminfo");
  const std::optional<uint64_t> available = MemInfoField(info, "MemAvailable:");
  const std::optional<uint64_t> swap = MemInfoField(info, "SwapFree:");
  if (available) return *available + swap.value_or(0);
  const long pages = sysconf(_SC_AVPHYS_PAGES);
  const long page = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page <= 0) return kUnlimited;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page);
}

// What a resource limit leaves, given what the process uses of it now.
uint64_t LimitLeft(int resource, uint64_t used) {
  rlimit limit{};
  if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kUnlimited;
  return LessOrZero(static_cast<uint64_t>(limit.rlim_cur), used);
}

// The address space and the data the process holds now (/proc/self/statm: size, resident,
// shared, text, library, data, in pages).
void ProcessSizes(uint64_t& addressSpace, uint64_t& data) {
  std::istringstream statm(ReadSmallFile("/proc/self/statm"));
  uint64_t fields[6] = {};
  for (uint64_t& field : fields) statm >> field;
  const long page = sysconf(_SC_PAGESIZE);
  const uint64_t bytes = page > 0 ? static_cast<uint64_t>(page) : 4096;
  addressSpace = fields[0] * bytes;
  data = fields[5] * bytes;
}

// What the memory limits of the process's control group and of every group above it leave
// (cgroup v2; nothing is known of v1 groups, which then limit nothing here).
uint64_t ControlGroupLeft() {
  const std::string groups = ReadSmallFile("/proc/self/cgroup");
  const size_t at = groups.find("0::");
  if (at != 0 && (at == std::string::npos || groups[at - 1] != '\n')) return kUnlimited;
  std::string group = groups.substr(at + 3, groups.find('\n', at) - (at + 3));
  uint64_t left = kUnlimited;
  for (;;) {
    const std::string folder = "/sys/fs/cgroup" + group;
    const std::optional<uint64_t> max = LeadingNumber(ReadSmallFile(folder + "/memory.max"));
    const std::optional<uint64_t> current =
        LeadingNumber(ReadSmallFile(folder + "/memory.current"));
    if (max && current) left = std::min(left, LessOrZero(*max, *current));
    if (group.empty() || group == "/") break;
    group.erase(group.find_last_of('/'));
  }
  return left;
}

}  // namespace

NotEnoughMemory::NotEnoughMemory(const std::string& fileName, uint64_t bytes)
    : KestrelError(NotEnoughMemoryMessage(fileName, bytes)) {}

std::string NotEnoughMemoryMessage(const std::string& fileName, uint64_t bytes) {
  // In tenths of a gigabyte, rounded to the nearest: "about" is all an estimate can say.
  const uint64_t tenths = std::max<uint64_t>(1, (bytes + 50'000'000) / 100'000'000);
  return "Not enough memory to open \"" + fileName + "\": it needs about " +
         std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " GB";
}

uint64_t AvailableMemory() {
  if (testing.load()) return testingBytes.load();
  uint64_t addressSpace = 0;
  uint64_t data = 0;
  ProcessSizes(addressSpace, data);
  return std::min({MachineFree(), LimitLeft(RLIMIT_AS, addressSpace), LimitLeft(RLIMIT_DATA, data),
                   ControlGroupLeft()});
}

void RequireMemory(const std::string& fileName, uint64_t more, uint64_t total) {
  if (more > AvailableMemory()) throw NotEnoughMemory(fileName, total);
}

void SetAvailableMemoryForTesting(std::optional<uint64_t> bytes) {
  testingBytes.store(bytes.value_or(0));
  testing.store(bytes.has_value());
}

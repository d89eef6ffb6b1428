#include "device/probe/capabilities.hpp"

#include <map>
#include <mutex>

namespace trelliken {

namespace {

struct Cache {
  std::mutex mutex;
  std::map<std::string, F64Capabilities> records;
};

Cache& cache() {
  static Cache* c = new Cache();  // outlives every device; never evicted
  return *c;
}

}  // namespace

std::optional<F64Capabilities> cached_capabilities(const std::string& adapter_key) {
  Cache& c = cache();
  std::lock_guard lock(c.mutex);
  auto it = c.records.find(adapter_key);
  if (it == c.records.end()) return std::nullopt;
  return it->second;
}

void store_capabilities(const std::string& adapter_key, const F64Capabilities& capabilities) {
  Cache& c = cache();
  std::lock_guard lock(c.mutex);
  c.records[adapter_key] = capabilities;
}

}  // namespace trelliken

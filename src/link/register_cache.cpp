#include "link/register_cache.h"

#include <algorithm>
#include <utility>

namespace tonvisor {

void RegisterCache::describe(std::span<const DescribedRegister> registers) {
  m_described.assign(registers.begin(), registers.end());
  std::sort(m_described.begin(), m_described.end(),
            [](const DescribedRegister& a, const DescribedRegister& b) { return a.address < b.address; });
  m_entries.clear();
  m_entries.reserve(m_described.size());
  for (const DescribedRegister& described : m_described) {
    CachedRegister cached;
    cached.described = &described;
    m_entries.push_back(cached);
  }
  changed();
}

CachedRegister* RegisterCache::entry(std::uint16_t address) {
  const auto at = std::lower_bound(m_entries.begin(), m_entries.end(), address,
                                   [](const CachedRegister& e, std::uint16_t a) { return e.described->address < a; });
  return at != m_entries.end() && at->described->address == address ? &*at : nullptr;
}

const CachedRegister* RegisterCache::find(std::uint16_t address) const {
  return const_cast<RegisterCache*>(this)->entry(address);
}

std::optional<std::uint16_t> RegisterCache::value(std::uint16_t address) const {
  const CachedRegister* cached = find(address);
  return cached != nullptr ? cached->value : std::nullopt;
}

void RegisterCache::clear() {
  bool any = false;
  for (CachedRegister& cached : m_entries) {
    any = any || cached.value || cached.lost || cached.changedOutside;
    const DescribedRegister* described = cached.described;
    cached = CachedRegister();
    cached.described = described;
  }
  if (any) changed();
}

std::optional<OutsideChange> RegisterCache::readDone(std::uint16_t address, std::uint16_t value) {
  CachedRegister* cached = entry(address);
  if (cached == nullptr) return std::nullopt;
  const RegisterTraits& traits = cached->described->traits;
  // A status register is read fresh each time; a trigger register reads back something other
  // than the coefficient written to it.
  if (traits.isVolatile || traits.writeTriggers) return std::nullopt;
  std::optional<OutsideChange> outside;
  if (cached->origin == CacheOrigin::Written && cached->value != value) {
    outside = OutsideChange{address, cached->described->name, *cached->value, value};
    cached->changedOutside = true;
    cached->writtenBefore = *cached->value;
  }
  const bool same = cached->origin == CacheOrigin::Read && cached->value == value && !cached->lost;
  cached->value = value;
  cached->origin = CacheOrigin::Read;
  cached->lost = false;
  if (!same) changed();
  return outside;
}

void RegisterCache::readFailed(std::uint16_t address) {
  CachedRegister* cached = entry(address);
  // A failed read changes nothing on the chip: a value known stays known.
  if (cached == nullptr || cached->value || cached->lost || cached->described->traits.isVolatile) return;
  cached->lost = true;
  changed();
}

void RegisterCache::written(std::uint16_t address, std::uint16_t value) {
  CachedRegister* cached = entry(address);
  if (cached == nullptr) return;
  const RegisterTraits& traits = cached->described->traits;
  if (traits.readOnly || traits.isVolatile) return;  // the chip ignored it
  const bool same = cached->origin == CacheOrigin::Written && cached->value == value && !cached->changedOutside;
  cached->value = value;
  cached->origin = CacheOrigin::Written;
  cached->lost = false;
  cached->changedOutside = false;
  if (!same) changed();
}

void RegisterCache::writeFailed(std::uint16_t address) {
  CachedRegister* cached = entry(address);
  if (cached == nullptr) return;
  const RegisterTraits& traits = cached->described->traits;
  if (traits.readOnly || traits.isVolatile) return;
  // The write may or may not have reached the chip: neither the old value nor the one meant
  // can be trusted.
  cached->value.reset();
  cached->origin = CacheOrigin::Unknown;
  cached->lost = true;
  cached->changedOutside = false;
  changed();
}

void RegisterCache::changed() {
  ++m_generation;
  // A listener may stop listening from its call: iterate over a copy.
  const std::vector<Listening*> listeners = m_listeners;
  for (Listening* listener : listeners) {
    if (std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end()) listener->m_changed();
  }
}

RegisterCache::Listening::Listening(RegisterCache& cache, std::function<void()> changed)
    : m_cache(cache), m_changed(std::move(changed)) {
  m_cache.m_listeners.push_back(this);
}

RegisterCache::Listening::~Listening() {
  auto& listeners = m_cache.m_listeners;
  listeners.erase(std::remove(listeners.begin(), listeners.end(), this), listeners.end());
}

}  // namespace tonvisor

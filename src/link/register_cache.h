#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tonvisor {

// How the chip treats one of its registers, as far as keeping a copy of it goes.
struct RegisterTraits {
  bool readable = true;        // a read gives the register's value
  bool isVolatile = false;     // the chip changes it by itself: a copy is never kept
  bool readOnly = false;       // the chip ignores writes to it
  bool writeTriggers = false;  // a write starts something (loads a coefficient) rather than
                               // storing a value: the copy is what was last written, never a read
};

// A register the device tells the cache about.
struct DescribedRegister {
  std::uint16_t address = 0;
  std::string_view name;
  RegisterTraits traits;
};

// Where a cached value came from.
enum class CacheOrigin {
  Unknown,  // never learned since the cache was emptied, or lost by a failed write
  Read,     // read from the chip
  Written,  // written by this program since it was last read
};

struct CachedRegister {
  const DescribedRegister* described = nullptr;
  std::optional<std::uint16_t> value;
  CacheOrigin origin = CacheOrigin::Unknown;
  bool lost = false;            // an access to it failed and left it unknown
  bool changedOutside = false;  // a read found another value than the one this program wrote
  std::uint16_t writtenBefore = 0;  // changedOutside: what this program had written
};

// A read that found a register changed by something else than this program.
struct OutsideChange {
  std::uint16_t address = 0;
  std::string_view name;
  std::uint16_t written = 0;
  std::uint16_t read = 0;
};

// The last known value of every register the device described, and where it came from, in
// the manner of a kernel regmap cache: the bus keeps it current as accesses go by, the device
// says which registers may be kept. Registers it was not told about are never kept.
class RegisterCache {
 public:
  // Replaces the registers kept (and forgets every value).
  void describe(std::span<const DescribedRegister> registers);

  // Every register described, in address order.
  std::span<const CachedRegister> registers() const { return m_entries; }
  // Nothing for a register not described.
  const CachedRegister* find(std::uint16_t address) const;
  // The value kept for a register, or nothing when unknown (also for a volatile one).
  std::optional<std::uint16_t> value(std::uint16_t address) const;

  // Forgets every value (a new link, a new Connect).
  void clear();
  // Grows at every change of any entry, so a view can tell whether it has anything to follow.
  std::uint64_t generation() const { return m_generation; }

  // A read of every readable register has ended (Read Chip), so that a view can take the
  // values as its new starting point.
  void filled() { ++m_fills; changed(); }
  std::uint64_t fills() const { return m_fills; }

  // What the link reports as accesses go by. readDone returns the change found, if any.
  std::optional<OutsideChange> readDone(std::uint16_t address, std::uint16_t value);
  void readFailed(std::uint16_t address);
  void written(std::uint16_t address, std::uint16_t value);
  void writeFailed(std::uint16_t address);

  // Called after every change. Listeners stay until their Listening object goes.
  class Listening {
   public:
    Listening(RegisterCache& cache, std::function<void()> changed);
    ~Listening();
    Listening(const Listening&) = delete;
    Listening& operator=(const Listening&) = delete;

   private:
    friend class RegisterCache;
    RegisterCache& m_cache;
    std::function<void()> m_changed;
  };

 private:
  CachedRegister* entry(std::uint16_t address);
  void changed();

  std::vector<DescribedRegister> m_described;
  std::vector<CachedRegister> m_entries;
  std::uint64_t m_generation = 0;
  std::uint64_t m_fills = 0;
  std::vector<Listening*> m_listeners;
};

}  // namespace tonvisor

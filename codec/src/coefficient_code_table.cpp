#include "coefficient_code_table.h"

#include "codec/vlc_tables.h"

#include <memory>
#include <mutex>
#include <new>

namespace vantry::codec::enc {
namespace {

std::mutex& tableLock() {
    static std::mutex lock;
    return lock;
}

struct SharedTable {
    std::unique_ptr<CoefficientCodeTable> table;
    int users = 0;
};

SharedTable& sharedTable() {
    static SharedTable shared;
    return shared;
}

uint32_t pack(uint32_t bits, int length) { return (bits << 5) | static_cast<uint32_t>(length); }

}  // namespace

CoefficientCodeTable::CoefficientCodeTable() {
    for (int last = 0; last < 2; ++last) {
        for (int run = 0; run < 64; ++run) {
            for (int level = -128; level < 128; ++level) {
                // ESCAPE, LAST, RUN (6 bits), LEVEL (8 bits, two's complement).
                const uint32_t escape = (uint32_t{kTcoefEscape.bits} << 15) | (uint32_t(last) << 14) |
                                        (uint32_t(run) << 8) | (uint32_t(level) & 0xFF);
                entries_[index(last, run, level)] = pack(escape, kTcoefEscape.length + 15);
            }
        }
    }
    for (const TcoefCode& c : kTcoefCodes) {
        entries_[index(c.last, c.run, c.level)] = pack(uint32_t{c.bits} << 1, c.length + 1);
        entries_[index(c.last, c.run, -c.level)] = pack((uint32_t{c.bits} << 1) | 1, c.length + 1);
    }
}

const CoefficientCodeTable* CoefficientCodeTable::acquire() {
    std::lock_guard guard(tableLock());
    SharedTable& shared = sharedTable();
    if (!shared.table) {
        shared.table.reset(new (std::nothrow) CoefficientCodeTable);
        if (!shared.table)
            return nullptr;
    }
    ++shared.users;
    return shared.table.get();
}

void CoefficientCodeTable::release() {
    std::lock_guard guard(tableLock());
    SharedTable& shared = sharedTable();
    if (shared.users > 0 && --shared.users == 0)
        shared.table.reset();
}

}  // namespace vantry::codec::enc

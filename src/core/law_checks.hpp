// The checks the law tables are made of: the pieces every law's check is
// built from, and the checks of the laws whose form is the same in every
// flavour.  Each raises spardyn::Error naming the law; none writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "spardyn/laws.hpp"

namespace spardyn {

// A count compared with an element count; kOwnerSized passes every test.
bool holds(std::size_t have, int64_t need);
[[noreturn]] void tooShort(const char* law, const char* buffer, int64_t need,
                           std::size_t have);
[[noreturn]] void invalid(const char* law, const std::string& what);

void needOpt(const NlState& s, const char* law, int64_t n);
void needIopt(const NlState& s, const char* law, int64_t n);
void needRates(const NlState& s, const char* law);
// Nnl a multiple of m (m ≥ 1).
void needMultiple(const NlState& s, const char* law, int32_t m);
// Parameters, integer options, rates, and whole groups of observed values.
void needGroups(const NlState& s, const char* law, int64_t nOpt,
                int64_t nIopt, int32_t group);
// vnl as long as the slices in use, snl holding the outputs.
void checkBuffers(const NlState& s, const char* law, int64_t outputs);
// The state blocks StoreState reads.
void checkStateBlocks(const NlState& s, const char* law);
// A table inside opt and its cursor, after the first nParameters values.
void checkTable(const NlState& s, const char* law, int64_t firstFree);

// What a law writes into snl: one value per observed value, or, for a
// table, one per query and value column (the interval number when it has
// none).
int64_t perValue(const NlState& s);
int64_t perTableColumn(const NlState& s);

// The laws of the same form everywhere.
void checkPower(const NlState& s);
void checkExpon(const NlState& s);
void checkTableLaw(const NlState& s);
void checkMaxw(const NlState& s);
// The contact law with its parameters in opt[0 … nParameters−1] and its
// table after them.
void checkContactLaw(const NlState& s, int32_t nParameters);

}  // namespace spardyn

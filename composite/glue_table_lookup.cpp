// Reading the colour tables as glue_modes.h offers it.
#include "composite/glue_table_lookup.h"

#include "composite/glue_modes.h"

namespace qf::glue {

TableAxis tableAxis(int32_t v) {
    return glue_detail::tableAxis(v);
}

void tableLookup(const uint8_t* table, const int32_t in[3], int32_t out[3]) {
    glue_detail::tableLookup(table, in, out);
}

} // namespace qf::glue

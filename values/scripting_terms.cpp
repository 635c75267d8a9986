#include "values/scripting_terms.h"

namespace qf {

std::vector<ScriptingValue> terminologyValues(const ScriptingEnumeration& e) {
    std::vector<ScriptingValue> values;
    for (int32_t n = 1; n <= e.limit; ++n) {
        std::string name = e.name(n);
        if (!name.empty()) values.push_back({n, enumValue(e, n), std::move(name)});
    }
    return values;
}

} // namespace qf

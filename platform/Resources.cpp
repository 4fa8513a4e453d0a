// Looks up resources and strings in the tables that tools/embed generates at build time.
#include "platform/Resources.h"

#include "platform/TextConvert.h"

namespace tarnhollow {

namespace generated {
extern const ResourceEntry kResources[];
extern const StringEntry kStrings[];
}  // namespace generated

std::optional<std::string_view> FindResource(std::string_view type, std::string_view name) {
    const bool ignoreCase = type == "BINDAT";
    for (const ResourceEntry* e = generated::kResources; e->type; ++e) {
        if (type != e->type) continue;
        if (ignoreCase ? EqualsIgnoringAsciiCase(name, e->name) : name == e->name) {
            return std::string_view(e->data, e->size);
        }
    }
    return std::nullopt;
}

std::string LoadStringBytes(unsigned id) {
    for (const StringEntry* e = generated::kStrings; e->text; ++e) {
        if (e->id == id) return e->text;
    }
    return {};
}

std::wstring LoadString(unsigned id) { return AnsiToWide(LoadStringBytes(id)); }

}  // namespace tarnhollow

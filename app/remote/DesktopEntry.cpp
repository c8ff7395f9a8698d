#include "DesktopEntry.h"

#include "Unicode.h"

#include <glib.h>

#include <memory>

namespace {

constexpr const char* kMainGroup = "Desktop Entry";

using KeyFile = std::unique_ptr<GKeyFile, decltype(&g_key_file_free)>;

// The unlocalised value of key, unescaped; nothing when it is absent.
std::optional<std::wstring> stringOf(GKeyFile* file, const char* key) {
    gchar* value = g_key_file_get_string(file, kMainGroup, key, nullptr);
    if (value == nullptr)
        return std::nullopt;
    std::wstring text = kvu::FromUtf8(value);
    g_free(value);
    return text;
}

} // namespace

std::optional<DesktopEntry> ParseDesktopEntry(std::string_view text) {
    KeyFile file(g_key_file_new(), &g_key_file_free);
    GError* error = nullptr;
    if (!g_key_file_load_from_data(file.get(), text.data(), text.size(), G_KEY_FILE_NONE, &error)) {
        g_clear_error(&error);
        return std::nullopt;
    }
    std::optional<std::wstring> name = stringOf(file.get(), "Name");
    if (!name)
        return std::nullopt;
    DesktopEntry entry;
    entry.name = std::move(*name);
    entry.path = stringOf(file.get(), "Path").value_or(std::wstring());
    entry.isHidden = g_key_file_get_boolean(file.get(), kMainGroup, "Hidden", nullptr) == TRUE;
    return entry;
}

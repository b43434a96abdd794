#include "GUI/App/Icons.h"

#include <QString>

#include <array>

// The resources live in a static library, whose initialiser the linker would otherwise drop. Outside any
// namespace, as the macro declares the initialiser where it stands.
static void EnsureIconResources() {
    static const bool loaded = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)loaded;
}

namespace {

template <std::size_t N> QIcon ImageFrom(const std::array<const char*, N>& files, int index) {
    EnsureIconResources();
    if (index < 0 || static_cast<std::size_t>(index) >= files.size() || files[index] == nullptr)
        return {};
    return QIcon(QString::fromLatin1(files[index]));
}

constexpr std::array<const char*, 6> toolbarFiles{
    ":/icons/toolbar/view-refresh.png",       ":/icons/toolbar/help-browser.png",
    ":/icons/toolbar/preferences-system.png", ":/icons/toolbar/document-properties.png",
    ":/icons/toolbar/process-stop.png",       ":/icons/toolbar/network-workgroup.png",
};

constexpr std::array<const char*, 3> deviceFiles{
    nullptr,
    ":/icons/devices/dialog-warning.png",
    ":/icons/devices/computer.png",
};

} // namespace

QIcon ProgramIcon() {
    EnsureIconResources();
    return QIcon(QStringLiteral(":/icons/tarrowin.svg"));
}

QIcon ToolbarImage(int index) {
    return ImageFrom(toolbarFiles, index);
}

QIcon DeviceImage(int index) {
    return ImageFrom(deviceFiles, index);
}

#pragma once

// What Zen calls on its QML host.

#include "panel/page.h"

#include <QString>

class QWidget;

namespace panel {

class ProfileStore;

class IView : public IPage {
public:
    virtual QWidget* widget() = 0;
    // The engine's data the page works on.
    virtual void attach(const QString& versionText, ProfileStore& profiles) = 0;
    virtual void cleanUnusedMacroId() = 0;
    // Calls a function of the page's root object without arguments.
    virtual void callRoot(const QString& function) = 0;
    // Reads the speaker left and right, speaker master and microphone volumes
    // from the driver and pushes them to the page, in this order.
    virtual void refreshVolumes() = 0;
};

} // namespace panel

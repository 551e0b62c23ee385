#pragma once

// Application-modal warnings: with an OK button only, or asking OK or Cancel.

#include <QString>

namespace panel {

class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual void warning(const QString& title, const QString& text) = 0;
    // Cancel is the default; closing the box counts as Cancel. True for OK.
    virtual bool askOkCancel(const QString& title, const QString& text) = 0;
};

class QtMessageBox final : public IMessageBox {
public:
    void warning(const QString& title, const QString& text) override;
    bool askOkCancel(const QString& title, const QString& text) override;
};

} // namespace panel

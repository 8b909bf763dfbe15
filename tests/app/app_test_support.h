#pragma once
// Helpers for the window tests: a scratch working directory per test, the
// cable choice, fixture files, drops sent as a real drop arrives, and a
// watcher that answers the message boxes the window shows.

#include "cable_choice.h"
#include "pattern_bytes.h"
#include "scratch_dir.h"
#include "sim_cable.h"
#include "working_directory.h"

#include <QDir>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMessageBox;

using Bytes = std::vector<std::uint8_t>;

// A fresh working directory for one test, with or without "Travik.ini";
// the previous directory comes back at the end.
class ScratchCwd {
public:
    explicit ScratchCwd(bool withIni);
    ~ScratchCwd();
    ScratchCwd(const ScratchCwd&) = delete;
    ScratchCwd& operator=(const ScratchCwd&) = delete;

    QString file(const QString& name) const;
    QString write(const QString& name, const Bytes& bytes) const;

private:
    ScratchDir m_dir;
    WorkingDirectory m_cwd{m_dir.path()};
};

// Installs the cable that FT_OpenEx uses from now on ("sim", "sim:absent",
// "sim:rate=…"); returns the simulated board's backend. The default cable
// comes back when the returned guard goes.
class CableGuard {
public:
    explicit CableGuard(const std::string& option);
    ~CableGuard();
    CableGuard(const CableGuard&) = delete;
    CableGuard& operator=(const CableGuard&) = delete;

    SimCableBackend& sim() const { return *m_choice.sim; }

private:
    CableChoice m_choice;
};

// The bytes of an SPC file with the given tag fields (text layout, tag type 26).
Bytes spcFileBytes(const std::string& game, const std::string& title, std::uint8_t tagType = 26);

// Sends a drag-enter and a drop of `paths` to `target` (the window or one of
// its controls), as the window system delivers a drop of files.
void dropFiles(QWidget& target, const QStringList& paths);
// The same with any items, local files or not.
void dropUrls(QWidget& target, const QList<QUrl>& urls);

// Watches for message boxes while the event loop runs, records each one and
// answers it (OK) unless a handler of the test's own takes it.
class MessageBoxWatcher {
public:
    struct Seen {
        QString caption;
        QString text;
        QString informativeText;
        bool windowVisible = false;  // was the watched window on screen then?
    };
    using Handler = std::function<void(QMessageBox&)>;

    explicit MessageBoxWatcher(const QWidget* window = nullptr);

    // Replaces the answer: the handler gets each new box instead.
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    const std::vector<Seen>& seen() const { return m_seen; }

private:
    void poll();

    QPointer<const QWidget> m_window;
    QTimer m_timer;
    std::vector<Seen> m_seen;
    QPointer<QMessageBox> m_last;
    Handler m_handler;
};

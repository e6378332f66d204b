#include "app/mainwindow.h"

#include <QCursor>
#include <QMenu>
#include <QTreeWidget>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "app/gadgettable.h"
#include "app/ownplayer.h"
#include "app/videolistmenu.h"
#include "detection/avifile.h"
#include "detection/cliplist.h"
#include "detection/triggeractions.h"
#include "media/alertplayback.h"
#include "outputs/launching.h"

// Only clips that the muxer never finished are read further than their header; a clip that
// another Sentello is recording holds a lock and is passed over. A clip that cannot be mended
// stays as it is, for whoever wants to try.
void MainWindow::repairUnfinishedClips() {
    for (const ListedClip& clip : findClips(m_clipFolder, m_clipStem)) {
        if (aviState(clip.path) != AviState::Unfinished)
            continue;
        const AviRepair repair = repairAvi(clip.path);
        switch (repair.outcome) {
            case AviRepair::Outcome::Repaired:
                m_watchEvents.report({.kind = WatchEvent::Kind::ClipRepaired,
                                      .clipPath = clip.path,
                                      .seconds = repair.seconds});
                // Its parts on the server end seconds before the cut; the mended clip replaces
                // them.
                copyClip(clip.path);
                break;
            case AviRepair::Outcome::Hopeless:
                m_watchEvents.report({.kind = WatchEvent::Kind::ClipNotRepaired,
                                      .clipPath = clip.path,
                                      .reason = repair.reason});
                break;
            case AviRepair::Outcome::Whole:
            case AviRepair::Outcome::InUse:
                break;
        }
    }
}

void MainWindow::fillVideoList() {
    for (const ListedClip& clip : findClips(m_clipFolder, m_clipStem)) {
        m_gadgets->appendRow(Gadget::videoList,
                             QString::fromStdString(clip.path + '\n' + clip.createdText));
    }
}

void MainWindow::connectVideoList() {
    auto* list = m_gadgets->as<QTreeWidget>(Gadget::videoList);
    connect(list, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (m_gadgets->state(Gadget::videoList) >= 0)
            playSelectedVideo();
    });
    // A right click or the menu key.
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QTreeWidget::customContextMenuRequested, this, &MainWindow::showVideoListMenu);
}

void MainWindow::showVideoListMenu() {
    if (m_gadgets->state(Gadget::videoList) < 0)
        return;
    m_videoListMenu = makeVideoListMenu(this, [this](int item) { onVideoListMenu(item); });
    m_videoListMenu->popup(QCursor::pos() - QPoint(1, 1));
    holdOff(1);
}

void MainWindow::onVideoListMenu(int item) {
    switch (item) {
        case kPlayVideo:
            playSelectedVideo();
            holdOff(1);
            break;
        case kDeleteVideo:
            deleteSelectedVideo();
            break;
        case kOpenVideoFolder:
            openWithDesktop(folderPart(m_gadgets->text(Gadget::videoList).toStdString()));
            holdOff(1);
            break;
    }
}

// No question; the row goes even when the file cannot.
void MainWindow::deleteSelectedVideo() {
    const int row = m_gadgets->state(Gadget::videoList);
    if (row < 0)
        return;
    const std::filesystem::path path = m_gadgets->text(Gadget::videoList).toStdString();
    std::error_code ignored;
    if (std::filesystem::remove(path, ignored))
        m_watchEvents.report({.kind = WatchEvent::Kind::ClipDeleted,
                              .clipPath = path.string(),
                              .deletion = WatchEvent::Deletion::ByHand});
    m_gadgets->removeItem(Gadget::videoList, row);
}

void MainWindow::playSelectedVideo() {
    const QString path = m_gadgets->text(Gadget::videoList);
    if (path.isEmpty())
        return;
    // A clip is opened, never run, even when it is an executable file.
    if (!m_gadgets->state(Gadget::ownPlayerCheck)) {
        openWithDesktop(path.toStdString());
        return;
    }
    withFrameTimerStopped([&] { playInOwnPlayer(m_alertPlayback->movies(), path); });
}

// Before a clip starts and after it ends, the oldest clips go until the others take no more
// than the limit; the newest (being recorded, or just recorded) always stays.
void MainWindow::keepStorageLimit() {
    if (m_advancedOptions.storageLimitMb <= 0)
        return;
    const std::uintmax_t limit = std::uintmax_t(m_advancedOptions.storageLimitMb) << 20;
    for (const std::string& path : clipsBeyondLimit(findClips(m_clipFolder, m_clipStem), limit,
                                                    m_triggerActions->lastVideoPath())) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
            ::unlink(path.c_str()) != 0) {
            continue;
        }
        m_watchEvents.report({.kind = WatchEvent::Kind::ClipDeleted,
                              .clipPath = path,
                              .deletion = WatchEvent::Deletion::StorageLimit});
        removeClipRow(path);
    }
}

void MainWindow::removeClipRow(const std::string& path) {
    const QString wanted = QString::fromStdString(path);
    for (int row = m_gadgets->countItems(Gadget::videoList) - 1; row >= 0; --row) {
        if (m_gadgets->itemText(Gadget::videoList, row).section(u'\n', 0, 0) == wanted) {
            m_gadgets->removeItem(Gadget::videoList, row);
            return;
        }
    }
}

#pragma once

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/statusdisplay.h"
#include "testwindow.h"

// The live picture's pop-up menu, opened and chosen from as a user does.

inline QMenu* visibleMenu() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* menu = qobject_cast<QMenu*>(widget); menu && menu->isVisible())
            return menu;
    }
    return nullptr;
}

inline QStringList openLiveViewMenu(Window& w, QContextMenuEvent::Reason reason) {
    LiveView* view = w.window.statusDisplay().liveView();
    QContextMenuEvent event(reason, QPoint(100, 80), view->mapToGlobal(QPoint(100, 80)));
    QApplication::sendEvent(view, &event);
    QStringList items;
    if (QMenu* menu = visibleMenu()) {
        for (QAction* action : menu->actions())
            items.append(action->text());
    }
    return items;
}

inline void chooseFromMenu(const QString& text) {
    QMenu* menu = visibleMenu();
    ASSERT_NE(menu, nullptr);
    menu->close();
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            action->trigger();
    }
}

// Opens the dialog of the menu's item `item` and lets `answer` work it. Fails instead of
// waiting when no dialog comes, and closes a dialog that the answer left open.
inline void answerMenuDialog(Window& w, const QString& item, const QString& title,
                             std::function<void(QWidget*)> answer) {
    auto answered = std::make_shared<bool>(false);
    QTimer::singleShot(0, [answered, answer, title] {
        *answered = true;
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog) {
            ADD_FAILURE() << "no dialog";
            return;
        }
        EXPECT_EQ(dialog->windowTitle(), title);
        answer(dialog);
        if (QApplication::activeModalWidget() == dialog) {
            ADD_FAILURE() << "the dialog stayed open";
            dialog->close();
        }
    });
    openLiveViewMenu(w, QContextMenuEvent::Mouse);
    chooseFromMenu(item);
    QCoreApplication::processEvents();
    EXPECT_TRUE(*answered);
}

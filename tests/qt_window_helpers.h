#pragma once
// What the tests of the real window share: texts in both encodings, and the
// steps of the file and password dialogs and of a drop.

#include "core/text.h"
#include "qt_support.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QtTest>

namespace talery::test {

inline QString q(const char8_t* s) { return QString::fromUtf8(reinterpret_cast<const char*>(s)); }
inline Text g(const char8_t* s) { return gbk(s); }

inline ModalScript::Step chooseFile(const QString& path) {
    return [path](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        QVERIFY(dialog);
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(path);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    };
}

inline ModalScript::Step typePassword(const QString& password) {
    return [password](QWidget* w) {
        auto* edit = w->findChild<QLineEdit*>(QStringLiteral("编辑框1"));
        if (!edit) {
            w->close();
            QFAIL("no password box");
        }
        // The dialog puts the focus into its box; activation may take a moment.
        const bool focused = QTest::qWaitFor([edit] { return QApplication::focusWidget() == edit; }, 2000);
        QTest::keyClicks(edit, password);
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(focused);
    };
}

// Checks the password dialog's look, types the password and confirms with its button.
inline ModalScript::Step confirmPassword(const QString& password, const QColor& background, const QColor& labels) {
    return [=](QWidget* w) {
        auto* edit = w->findChild<QLineEdit*>(QStringLiteral("编辑框1"));
        auto* confirm = w->findChild<QPushButton*>(QStringLiteral("信息2"));
        if (!edit || !confirm) {
            w->close();
            QFAIL("password dialog units missing");
        }
        QTest::keyClicks(edit, password);
        confirm->click();
        QCOMPARE(w->palette().color(QPalette::Window), background);
        for (const char8_t* name : {u8"透明标签1", u8"透明标签2", u8"透明标签3"}) {
            auto* label = w->findChild<QLabel*>(q(name));
            QVERIFY(label);
            QCOMPARE(label->palette().color(QPalette::WindowText), labels);
        }
        QCOMPARE(w->findChild<QLabel*>(q(u8"透明标签2"))->text(), q(u8"请输入Tlr文件密码"));
        QCOMPARE(confirm->text(), q(u8"确认"));
    };
}

// Drops local files on a widget as a file manager's drag does: enter, then drop.
inline void dropFiles(QWidget* target, const QStringList& paths) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    mime.setUrls(urls);
    mime.setText(paths.join(QLatin1Char('\n')));
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

}  // namespace talery::test

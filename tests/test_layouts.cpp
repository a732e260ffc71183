// Every dialog in both languages and in the faces a Linux desktop puts in place
// of the dialog font, at the scale this run was started with (ctest runs it at
// 1 and at 2): every caption fits its control by the control's own font
// metrics, no two controls overlap, and none sticks out of its parent.

#include "account/gui/uFmLogin.h"
#include "account/gui/uFmLogout.h"
#include "account/gui/uFmQrcodeDl.h"
#include "account/gui/uFmRegister.h"
#include "account/gui/uFmUserInfo.h"
#include "extras/gui/uFmFeedback.h"
#include "lang/uLanguageObject.h"
#include "reminders/gui/uFmAlertSetup.h"
#include "reminders/gui/uFmAlertWindow.h"
#include "reminders/gui/uFmMissedAlerts.h"
#include "reminders/gui/uFmSelectWeekday.h"
#include "support/NoteTestContext.h"
#include "support/ServiceTestEnv.h"
#include "support/TestEnv.h"
#include "ui/uFmAbout.h"
#include "ui/uFmFont.h"
#include "ui/uFmHint.h"
#include "ui/uFmNoteManager.h"
#include "ui/uFmOptions.h"
#include "ui/uFmSetColor.h"
#include "ui/uFmSetTransValue.h"
#include "ui/uFmUpdateHistory.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct TLook {
    const char* Language; // the shipped file
    const char* Family;   // the face the desktop gives the dialog font
};

// The two languages, each in a Latin face and in the CJK face the packages install.
const TLook kLooks[] = {
    {"English", "DejaVu Sans"},
    {"English", "WenQuanYi Micro Hei"},
    {"Chinese", "DejaVu Sans"},
    {"Chinese", "WenQuanYi Micro Hei"},
};

QString withoutMnemonics(QString text) {
    // "&&" is a literal ampersand; a single one marks the Alt key.
    text.replace(QLatin1String("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QChar(0x01), QLatin1Char('&'));
    return text;
}

int widestLine(const QFontMetrics& fm, const QString& text) {
    int w = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        w = std::max(w, fm.horizontalAdvance(line));
    return w;
}

// Parts of compound controls (a combo box's button, a list's scroll bars...) are
// the compound control's business, not the dialog's.
bool insideCompound(const QWidget* w, const QWidget* dialog) {
    for (const QWidget* p = w->parentWidget(); p && p != dialog; p = p->parentWidget())
        if (qobject_cast<const QAbstractScrollArea*>(p) || qobject_cast<const QComboBox*>(p) ||
            qobject_cast<const QAbstractSpinBox*>(p) || qobject_cast<const QKeySequenceEdit*>(p) ||
            qobject_cast<const QTabBar*>(p))
            return true;
    return false;
}

QString nameOf(const QWidget* w) {
    return QStringLiteral("%1 %2 \"%3\"")
        .arg(QLatin1String(w->metaObject()->className()), w->objectName(),
             qobject_cast<const QLabel*>(w) ? qobject_cast<const QLabel*>(w)->text().left(30)
             : qobject_cast<const QAbstractButton*>(w)
                 ? qobject_cast<const QAbstractButton*>(w)->text().left(30)
                 : QString());
}

// What is wrong with one shown dialog; empty when nothing is.
QStringList problemsOf(QDialog& dialog) {
    QStringList out;
    QList<QWidget*> controls;
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&dialog) || w->isWindow() || insideCompound(w, &dialog))
            continue;
        // A marker drawn over a control (it takes no input) is meant to lie on it.
        if (w->testAttribute(Qt::WA_TransparentForMouseEvents))
            continue;
        controls.append(w);
        const QFontMetrics fm = w->fontMetrics();
        const QStyle* style = w->style();
        if (auto* l = qobject_cast<QLabel*>(w); l && !l->text().isEmpty()) {
            const QString text = l->textFormat() == Qt::RichText ? QString() : withoutMnemonics(l->text());
            const QRect room = l->contentsRect();
            if (l->wordWrap()) {
                // The height a label asks for at a width includes its frame.
                if (l->heightForWidth(l->width()) > l->height() + 1)
                    out << nameOf(l) + QStringLiteral(": wrapped text needs %1 px of height, has %2")
                                           .arg(l->heightForWidth(l->width()))
                                           .arg(l->height());
            } else if (widestLine(fm, text) > room.width()) {
                out << nameOf(l) + QStringLiteral(": text needs %1 px, has %2")
                                       .arg(widestLine(fm, text))
                                       .arg(room.width());
            }
        } else if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty()) {
            int margins = 0;
            if (qobject_cast<QCheckBox*>(b))
                margins = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, b) +
                          style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, b);
            else if (qobject_cast<QRadioButton*>(b))
                margins = style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, b) +
                          style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, b);
            else if (qobject_cast<QPushButton*>(b))
                margins = 2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b) / 2 +
                               style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b));
            const int needed = widestLine(fm, withoutMnemonics(b->text())) + margins +
                               (b->icon().isNull() ? 0 : b->iconSize().width() + 4);
            if (needed > b->width())
                out << nameOf(b) + QStringLiteral(": needs %1 px, has %2").arg(needed).arg(b->width());
            if (fm.height() > b->height())
                out << nameOf(b) +
                           QStringLiteral(": text %1 px high, button %2").arg(fm.height()).arg(b->height());
        } else if (auto* g = qobject_cast<QGroupBox*>(w); g && !g->title().isEmpty()) {
            const int needed = fm.horizontalAdvance(withoutMnemonics(g->title())) + 2 * fm.averageCharWidth();
            if (needed > g->width())
                out << nameOf(g) + QStringLiteral(": title needs %1 px, has %2").arg(needed).arg(g->width());
        } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < tabs->count(); ++i)
                if (fm.horizontalAdvance(withoutMnemonics(tabs->tabText(i))) > tabs->tabRect(i).width())
                    out << nameOf(tabs) + QStringLiteral(": tab \"%1\" cut").arg(tabs->tabText(i));
        }
        // Inside its parent: nothing cut off at an edge.
        if (QWidget* p = w->parentWidget(); p && !p->rect().contains(w->geometry()))
            out << nameOf(w) + QStringLiteral(": sticks out of %1").arg(nameOf(p));
    }
    // No two controls of one parent on top of each other.
    for (int i = 0; i < controls.size(); ++i)
        for (int j = i + 1; j < controls.size(); ++j) {
            const QWidget* a = controls[i];
            const QWidget* b = controls[j];
            if (a->parentWidget() == b->parentWidget() && a->geometry().intersects(b->geometry()))
                out << nameOf(a) + QStringLiteral(" overlaps ") + nameOf(b);
        }
    return out;
}

// What every dialog is built from: a language, a note context, a service environment.
struct TWorld {
    explicit TWorld(const char* language) : Service(QStringLiteral("layouts")) {
        const QString file =
            TLanguageObject::LanguageFilePath(testenv::binDir() + QLatin1Char('/'), QLatin1String(language));
        EXPECT_TRUE(Language.LoadFromFile(file)) << file.toStdString();
        Service.Env.Language = &Language;
        auto context = std::make_shared<TNoteContext>(*Notes.Context());
        context->Language = [this] { return &Language; };
        Context = context;
    }

    TLanguageObject Language;
    testenv::TTestNoteContext Notes;
    testenv::TServiceTestEnv Service;
    TNoteContextPtr Context;
};

using TMaker = std::function<std::unique_ptr<QDialog>(TWorld&)>;

const std::pair<const char*, TMaker> kDialogs[] = {
    {"Options", [](TWorld& w) { return std::make_unique<TFmOptions>(nullptr, w.Context); }},
    {"Note Manager", [](TWorld& w) { return std::make_unique<TFmNoteManager>(nullptr, w.Context); }},
    {"Alert Setup", [](TWorld& w) { return std::make_unique<TFmAlertSetup>(nullptr, w.Context); }},
    {"Select Week Day", [](TWorld& w) { return std::make_unique<TFmSelectWeekday>(nullptr, &w.Language); }},
    {"Alarm", [](TWorld& w) { return std::make_unique<TFmAlertWindow>(nullptr, w.Context); }},
    {"Missed Reminders", [](TWorld& w) { return std::make_unique<TFmMissedAlerts>(nullptr, w.Context); }},
    {"Text Colour", [](TWorld& w) { return std::make_unique<TFmSetColor>(nullptr, &w.Language); }},
    {"Font", [](TWorld& w) { return std::make_unique<TFmSetFont>(nullptr, &w.Language); }},
    {"Transparency", [](TWorld& w) { return std::make_unique<TFmSetTransValue>(nullptr, &w.Language); }},
    {"Hint", [](TWorld& w) { return std::make_unique<TFmHint>(nullptr, &w.Language); }},
    {"About", [](TWorld& w) { return std::make_unique<TFmAbout>(w.Service.Env); }},
    {"Feedback", [](TWorld& w) { return std::make_unique<TFmFeedback>(w.Service.Env); }},
    {"Sign In", [](TWorld& w) { return std::make_unique<TFmLogin>(w.Service.Env); }},
    {"Sign Up", [](TWorld& w) { return std::make_unique<TFmRegister>(w.Service.Env); }},
    {"Log Out", [](TWorld& w) { return std::make_unique<TFmLogout>(w.Service.Env); }},
    {"My Account", [](TWorld& w) { return std::make_unique<TFmUserInfo>(w.Service.Env); }},
    {"Download", [](TWorld& w) { return std::make_unique<TFmQrcodeDl>(w.Service.Env); }},
    {"Update History", [](TWorld& w) { return std::make_unique<TFmUpdateHistory>(w.Service.Env); }},
};

} // namespace

TEST(Layouts, TheCheckFindsCutCaptionsOverlapsAndControlsOutsideTheirParent) {
    QDialog d;
    d.resize(300, 200);
    auto* cut = new QLabel(QStringLiteral("Every Month of the year"), &d);
    cut->setGeometry(10, 10, 40, 20);
    auto* fits = new QLabel(QStringLiteral("OK"), &d);
    fits->setGeometry(10, 40, 100, 20);
    auto* a = new QPushButton(QStringLiteral("One"), &d);
    a->setGeometry(10, 70, 80, 30);
    auto* b = new QPushButton(QStringLiteral("Two"), &d);
    b->setGeometry(60, 80, 80, 30);
    auto* radio = new QRadioButton(QStringLiteral("Every Month"), &d);
    radio->setGeometry(150, 10, 50, 20);
    auto* outside = new QCheckBox(QStringLiteral("x"), &d);
    outside->setGeometry(280, 150, 60, 20);
    d.show();
    QCoreApplication::processEvents();
    const QString found = problemsOf(d).join(QLatin1Char('\n'));
    EXPECT_TRUE(found.contains(QStringLiteral("Every Month of the year\": text needs")))
        << found.toStdString();
    EXPECT_FALSE(found.contains(QStringLiteral("\"OK\""))) << found.toStdString();
    EXPECT_TRUE(found.contains(QStringLiteral("\"One\" overlaps"))) << found.toStdString();
    EXPECT_TRUE(found.contains(QStringLiteral("\"Every Month\": needs"))) << found.toStdString();
    EXPECT_TRUE(found.contains(QStringLiteral("\"x\": sticks out"))) << found.toStdString();
}

TEST(Layouts, TheFacesTheTestNamesAreInstalled) {
    const QStringList families = QFontDatabase::families();
    for (const TLook& look : kLooks)
        EXPECT_TRUE(families.contains(QLatin1String(look.Family))) << look.Family;
}

TEST(Layouts, EveryCaptionFitsAndNoControlsOverlapInEveryLanguageAndFace) {
    for (const TLook& look : kLooks) {
        TWorld world(look.Language);
        for (const auto& [name, make] : kDialogs) {
            SCOPED_TRACE(std::string(name) + ", " + look.Language + ", " + look.Family + ", scale " +
                         qgetenv("QT_SCALE_FACTOR").toStdString());
            std::unique_ptr<QDialog> dialog = make(world);
            // The desktop's face in place of the one the dialog asks for, as fontconfig gives it.
            QFont face = dialog->font();
            face.setFamily(QLatin1String(look.Family));
            dialog->setFont(face);
            dialog->show();
            QCoreApplication::processEvents();
            const QStringList problems = problemsOf(*dialog);
            // For a person's look: ZUVO_DIALOG_SHOTS=folder keeps a picture of each.
            if (const QString shots = qEnvironmentVariable("ZUVO_DIALOG_SHOTS"); !shots.isEmpty())
                dialog->grab().save(QStringLiteral("%1/%2-%3-%4-x%5.png")
                                        .arg(shots, QLatin1String(name), QLatin1String(look.Language),
                                             QString::fromLatin1(look.Family).remove(QLatin1Char(' ')),
                                             qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"))));
            EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
            dialog->hide();
        }
    }
}

// A screen reader names each control it can reach by the keyboard: by its
// caption, the label that is its buddy, or a name of its own.
TEST(Layouts, EveryControlTheKeyboardReachesHasAName) {
    for (const char* language : {"English", "Chinese"}) {
        TWorld world(language);
        for (const auto& [name, make] : kDialogs) {
            SCOPED_TRACE(std::string(name) + ", " + language);
            std::unique_ptr<QDialog> dialog = make(world);
            dialog->show();
            QCoreApplication::processEvents();
            QStringList unnamed;
            for (QWidget* w : dialog->findChildren<QWidget*>()) {
                if (!w->isVisibleTo(dialog.get()) || w->isWindow() || !(w->focusPolicy() & Qt::TabFocus) ||
                    insideCompound(w, dialog.get()))
                    continue;
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
                if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
                    unnamed << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') +
                                   w->objectName();
            }
            EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(QLatin1String(", ")).toStdString();
            dialog->hide();
        }
    }
}

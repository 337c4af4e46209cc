#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>

#include "app/ui/QtTranslations.h"
#include "app/ui/QtUiPort.h"
#include "platform/GbkLiteral.h"

namespace zelmo::app {
namespace {

// Reads the buttons of the box that opens next, then presses `press`.
void AnswerNextBox(QMessageBox::StandardButton press, QStringList& texts) {
    QTimer::singleShot(0, [press, &texts] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* button : box->buttons()) {
            texts << button->text();
        }
        box->button(press)->click();
    });
}

TEST(QtTranslationsTest, TheScreensBoxesShowChineseButtonsWhateverTheLocale) {
    QTranslator* translator = InstallQtChineseTranslations(*QApplication::instance());
    ASSERT_NE(translator, nullptr) << "Qt's zh_CN translations (qt6-translations-l10n)";
    QtUiPort screen(AutoAnswer::Ask);

    QStringList question;
    AnswerNextBox(QMessageBox::No, question);
    EXPECT_FALSE(screen.AskYesNo(platform::Gbk("提示"), platform::Gbk("是否保存？")));
    ASSERT_EQ(question.size(), 2);
    EXPECT_EQ(question.filter(QString::fromUtf8("是")).size(), 1)
        << question.join('|').toStdString();
    EXPECT_EQ(question.filter(QString::fromUtf8("否")).size(), 1)
        << question.join('|').toStdString();

    QStringList notice;
    AnswerNextBox(QMessageBox::Ok, notice);
    screen.ShowMessageBox(platform::Gbk("错误提示"), platform::Gbk("二维码加载失败"));
    ASSERT_EQ(notice.size(), 1);
    EXPECT_TRUE(notice.front().contains(QString::fromUtf8("确定"))) << notice.front().toStdString();

    // The other tests find the application as they expect it.
    QCoreApplication::removeTranslator(translator);
    delete translator;
}

}  // namespace
}  // namespace zelmo::app

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <string>

#include "app/ui/Fades.h"
#include "app/ui/StatusPopup.h"
#include "platform/GbkLiteral.h"
#include "widgets/QtText.h"

namespace zelmo::app {
namespace {

QString LabelText(const StatusPopup& popup) {
    const auto* label = popup.Window()->findChild<QLabel*>(QString::fromUtf8("读取信息"));
    return label == nullptr ? QString("<no label>") : label->text();
}

TEST(StatusPopupTest, ShowsEighteenBytesWholeAndCutsNineteen) {
    StatusPopup popup;
    const std::string eighteen = platform::Gbk("微信机器人载入中") + "ab";
    ASSERT_EQ(eighteen.size(), 18u);
    popup.ShowStatus(eighteen, false);
    ASSERT_TRUE(popup.IsOpen());
    EXPECT_EQ(LabelText(popup), widgets::ToQString(eighteen));
    EXPECT_DOUBLE_EQ(popup.Window()->windowOpacity(), 1.0);

    popup.ShowStatus(eighteen + "c", false);
    EXPECT_EQ(LabelText(popup), QString::fromUtf8("微信机器人载入中..."));
    popup.Close();
}

// Samples the popup's opacity from inside the next event processing.
class OpacityProbe {
public:
    explicit OpacityProbe(const StatusPopup& popup) {
        QTimer::singleShot(0, [this, &popup] {
            m_seen = popup.Window() == nullptr ? -1.0 : popup.Window()->windowOpacity();
        });
    }
    double Seen() const { return m_seen; }

private:
    double m_seen = -2.0;
};

TEST(StatusPopupTest, FadesInOnlyWhenItWasClosed) {
    StatusPopup popup;
    const OpacityProbe first(popup);
    popup.ShowStatus("one", true);
    EXPECT_GE(first.Seen(), 0.0);
    EXPECT_LT(first.Seen(), 1.0);  // caught mid-fade
    EXPECT_DOUBLE_EQ(popup.Window()->windowOpacity(), 1.0);
    EXPECT_TRUE(popup.Window()->isEnabled());

    const QWidget* window = popup.Window();
    const OpacityProbe second(popup);
    popup.ShowStatus("two", true);
    EXPECT_DOUBLE_EQ(second.Seen(), 1.0);  // no second fade
    EXPECT_EQ(popup.Window(), window);
    EXPECT_EQ(LabelText(popup), "two");
    popup.Close();
}

TEST(StatusPopupTest, ClosingAClosedPopupDoesNothing) {
    StatusPopup popup;
    popup.Close();
    EXPECT_FALSE(popup.IsOpen());
    EXPECT_EQ(popup.Window(), nullptr);

    popup.ShowStatus("x", false);
    popup.Close();
    popup.Close();
    EXPECT_FALSE(popup.IsOpen());
    EXPECT_EQ(popup.Window(), nullptr);
    // Open again after closing: a fresh window.
    popup.ShowStatus("y", false);
    ASSERT_NE(popup.Window(), nullptr);
    EXPECT_EQ(LabelText(popup), "y");
}

TEST(FadesTest, StepThroughTheAlphaLevels) {
    std::vector<int> in;
    for (int alpha = 8; alpha <= 240; alpha += 8) {
        in.push_back(alpha);
    }
    in.push_back(255);
    EXPECT_EQ(FadeInLevels(), in);
    std::vector<int> out;
    for (int alpha = 232; alpha >= 0; alpha -= 8) {
        out.push_back(alpha);
    }
    EXPECT_EQ(FadeOutLevels(), out);

    QWidget window;
    window.show();
    FadeOut(&window);
    EXPECT_DOUBLE_EQ(window.windowOpacity(), 0.0);
    EXPECT_TRUE(window.isEnabled());
    window.setEnabled(false);
    FadeIn(&window);
    EXPECT_DOUBLE_EQ(window.windowOpacity(), 1.0);
    EXPECT_FALSE(window.isEnabled());  // a window disabled before stays disabled
}

TEST(FadesTest, StopsWhenTheWindowIsDestroyedMidFade) {
    auto* window = new QWidget;
    window->show();
    QTimer::singleShot(20, [window] { delete window; });
    FadeOut(window);  // must not touch the deleted window
    SUCCEED();
}

}  // namespace
}  // namespace zelmo::app

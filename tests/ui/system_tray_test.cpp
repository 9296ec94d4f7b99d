#include "system_tray.h"

#include "about_dialog.h"
#include "dialog_buttons_style.h"
#include "event_wait.h"
#include "iprotocol.h"
#include "platform.h"
#include "process_env.h"
#include "qt_application.h"
#include "scoped_environment.h"
#include "session.h"
#include "temp_dir.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimerEvent>

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace zorva::plugin;

// Under Xvfb with a tray program the icon must really be docked; headless,
// only what the icon carries is checked.
bool trayExpected() { return process_env::get("ZORVA_EXPECT_TRAY").has_value(); }

// The icon lock of this test program alone: other test programs that show a
// tray at the same time must not take it.
void usePrivateRuntimeFolder() {
    static const TempDir folder;
    static ScopedEnvironment environment;
    boost::filesystem::permissions(folder.path(), boost::filesystem::owner_all);
    environment.set("XDG_RUNTIME_DIR", folder.path().string());
}

class SystemTrayTest : public testing::TestWithParam<std::string> {
protected:
    static void SetUpTestSuite() {
        ensureApplication<QApplication>();
        usePrivateRuntimeFolder();
    }

    const ui::GuiRegistry registry{GetParam()};
    const ui::GuiRegistry::Impl& branding = registry.impl();
};

std::vector<std::string> menuEntries(const QMenu& menu) {
    std::vector<std::string> entries;
    for (const QAction* action : menu.actions())
        entries.push_back(action->isSeparator() && action->text().isEmpty()
                              ? "---"
                              : action->text().toStdString());
    return entries;
}

// Pixmaps keep premultiplied pixels: compare in that form.
QImage pixels(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

TEST_P(SystemTrayTest, ShowsBrandingIconTooltipAndMenu) {
    if (trayExpected())
        ASSERT_TRUE(runEventsUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
            << "no system tray appeared";
    SystemTray tray(Session::instance(), branding);

    tray.setUp();

    EXPECT_TRUE(tray.isVisible());
    EXPECT_EQ(tray.toolTip().toStdString(),
              "Process name: " + branding.applicationName() +
                  "\nProcess ID: " + std::to_string(platform::processId()) + "\nProtocol: ");
    const QPixmap logo(QString::fromStdString(branding.resourcePath("logo_16x16.png")));
    ASSERT_FALSE(logo.isNull());
    EXPECT_EQ(pixels(tray.icon().pixmap(16, 16)), pixels(logo));
    ASSERT_NE(tray.contextMenu(), nullptr);
    const std::vector<std::string> expected =
        GetParam() == "zorva.plugin"
            ? std::vector<std::string>{"ZorvaPlugin", "About", "---", "Approved sites", "Exit"}
            : std::vector<std::string>{"CivaraPlugin", "Approved sites", "Exit"};
    EXPECT_EQ(menuEntries(*tray.contextMenu()), expected);
    if (trayExpected())
        EXPECT_TRUE(runEventsUntil([&tray] { return !tray.geometry().isEmpty(); }))
            << "the icon was not docked in the tray";
}

TEST_P(SystemTrayTest, ScanShowsTheIconOfTheOnlyRunningHost) {
    SystemTray tray(Session::instance(), branding);
    tray.setUp();
    tray.hide();
    QTimerEvent scanDue(0);

    QApplication::sendEvent(&tray, &scanDue);

    EXPECT_TRUE(runEventsUntil([&tray] { return tray.isVisible(); }))
        << "the scan did not show the icon";
}

INSTANTIATE_TEST_SUITE_P(Brandings, SystemTrayTest,
                         testing::Values("zorva.plugin", "civara.plugin"), [](const auto& info) {
                             return info.param.substr(0, info.param.find('.'));
                         });

class FakeProtocol : public module::IProtocol {
public:
    explicit FakeProtocol(std::string name) : name_(std::move(name)) {}
    std::string name() override { return name_; }
    void run() override {}
    void interrupt() override {}
    format::MessagePtr receive() override { return {}; }
    void send(const format::MessagePtr&) override {}

private:
    std::string name_;
};

ModuleLoader::Table moduleTable(const std::string& type, const std::string& configJson) {
    ModuleLoader::Table table;
    table[type].config =
        boost::make_shared<format::Config>(json_dto::from_json<format::Config>(configJson));
    return table;
}

TEST(SystemTrayProtocolText, AddressComesFromModuleMetaThenDependencies) {
    FakeProtocol ws("ws");
    const std::string own =
        R"({"meta":[{"format":{"type":"ws","category":"protocol"},"data":"ws://own:1"}],)"
        R"("dependencies":[{"format":{"type":"x"},"meta":[{"format":{"type":"x",)"
        R"("category":"protocol"},"data":"ws://dependency:2"}]}]})";
    const std::string inherited = R"({"dependencies":[{"format":{"type":"x"},"meta":[{"format":)"
                                  R"({"type":"x","category":"protocol"},"data":"ws://dep:2"}]}]})";

    EXPECT_EQ(SystemTray::protocolText(nullptr, {}), "");
    EXPECT_EQ(SystemTray::protocolText(&ws, moduleTable("ws", own)), "ws://own:1");
    EXPECT_EQ(SystemTray::protocolText(&ws, moduleTable("ws", inherited)), "ws://dep:2");
    EXPECT_EQ(SystemTray::protocolText(&ws, moduleTable("ws", "{}")), "ws");
    EXPECT_EQ(SystemTray::protocolText(&ws, moduleTable("nmh", own)), "ws");
}

TEST_P(SystemTrayTest, OnlyTheHostHoldingTheIconLockShowsItsIconUntilItEnds) {
    auto first = std::make_unique<SystemTray>(Session::instance(), branding);
    SystemTray second(Session::instance(), branding);
    first->setUp();
    second.setUp();
    QTimerEvent lookAgain(0);

    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(second.isVisible());
    QApplication::sendEvent(&second, &lookAgain);
    EXPECT_FALSE(second.isVisible());
    first.reset();
    QApplication::sendEvent(&second, &lookAgain);
    EXPECT_TRUE(second.isVisible());
}

TEST_P(SystemTrayTest, AboutDialogShowsTitleYearAndATextOnlyCloseButton) {
    const QString title = QString::fromStdString(branding.applicationName());
    ui::AboutDialog dialog(title, QString::fromStdString(branding.resourcePath("logo_32x32.png")),
                           ui::AboutDialog::bodyText(title),
                           QString::fromStdString(branding.resourcePath("logo_64x64.png")));

    const auto labels = dialog.findChildren<QLabel*>();
    const auto* box = dialog.findChild<QDialogButtonBox*>();
    QKeyEvent escape(QEvent::ShortcutOverride, Qt::Key_Escape, Qt::NoModifier);

    EXPECT_EQ(dialog.windowTitle(), title);
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&title](const QLabel* label) {
        return label->text().startsWith(title + "<br/><br/>" + title) &&
               label->text().contains("2024");
    }));
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons()[0]->text(), "Close");
    ASSERT_TRUE(dynamic_cast<const ui::DialogButtonsStyle*>(box->style()));
    EXPECT_EQ(box->style()->styleHint(QStyle::SH_DialogButtonBox_ButtonsHaveIcons), 0);
    EXPECT_TRUE(QApplication::sendEvent(&dialog, &escape));
    EXPECT_TRUE(escape.isAccepted());
}

}  // namespace

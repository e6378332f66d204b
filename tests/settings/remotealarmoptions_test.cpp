#include "settings/remotealarmoptions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "../support/settingsfiletest.h"
#include "settings/credentialscrambling.h"
#include "settings/settingskeys.h"

namespace {

using RemoteAlarmOptionsTest = SettingsFileFixture;

RemoteAlarmOptions chosen() {
    RemoteAlarmOptions options;
    options.mqtt = true;
    options.mqttServer = "broker.example.org";
    options.mqttPort = 8883;
    options.mqttTls = true;
    options.mqttUser = "haus";
    options.mqttPassword = "mqtt-geheim";
    options.mqttTopic = "haus/keller";
    options.mail = true;
    options.mailServer = "smtp.example.org";
    options.mailPort = 465;
    options.mailSecurity = static_cast<int>(MailSecurity::Smtps);
    options.mailUser = "j\xC3\xBCrgen";
    options.mailPassword = "mail geheim";
    options.mailSender = "kamera@example.org";
    options.mailRecipients = "a@example.org, b@example.org";
    options.mailVideoMb = 0;
    options.push = true;
    options.pushUrl = "https://ntfy.example.org/keller";
    options.pushToken = "tk_123";
    options.pushFormat = static_cast<int>(PushFormat::Json);
    options.intervalSeconds = 0;
    options.outboxMb = 250;
    options.mqttCertificate = std::string(64, 'a');
    options.mailCertificate = std::string(64, 'b');
    options.pushCertificate = std::string(64, 'c');
    return options;
}

// The scrambled value of `key` as the file holds it.
std::string storedValue(const std::string& text, const std::string& key) {
    const std::regex line("\r\n" + key + " = ([^\r]*)\r\n");
    std::smatch found;
    return std::regex_search(text, found, line) ? found[1].str() : std::string("(none)");
}

TEST_F(RemoteAlarmOptionsTest, AFileWithoutTheGroupGivesTheDefaultsAndStaysAsItIs) {
    const std::string classic =
        "[Optionen]\r\nhspiegeln = 1\r\nmqtt = 1\r\n[Erweitert]\r\n"
        "vorlauf = 2\r\n";
    put(classic);
    const RemoteAlarmOptions options = loadRemoteAlarmOptions(m_path);
    EXPECT_EQ(options, RemoteAlarmOptions{});
    EXPECT_EQ(contents(), classic);
    EXPECT_FALSE(options.mqtt);
    EXPECT_EQ(options.mqttPort, 1883);
    EXPECT_EQ(options.mqttTopic, "sentello");
    EXPECT_EQ(options.mailPort, 587);
    EXPECT_EQ(options.mailSecurity, static_cast<int>(MailSecurity::StartTls));
    EXPECT_EQ(options.mailVideoMb, 10);
    EXPECT_EQ(options.pushFormat, static_cast<int>(PushFormat::Ntfy));
    EXPECT_EQ(options.intervalSeconds, 30);
    EXPECT_EQ(options.outboxMb, 100);
    EXPECT_EQ(loadRemoteAlarmOptions((m_temp.path() / "missing").string()), RemoteAlarmOptions{});
    EXPECT_FALSE(std::filesystem::exists(m_temp.path() / "missing"));
}

TEST_F(RemoteAlarmOptionsTest, AreWrittenAsTheirOwnGroupInTheTablesOrderAndReadBack) {
    put("[Optionen]\r\nhspiegeln = 0\r\n");
    const RemoteAlarmOptions options = chosen();
    saveRemoteAlarmOptions(options, m_path);
    const std::string text = contents();
    const std::string mqttPass = storedValue(text, "mqttpass");
    const std::string mailPass = storedValue(text, "mailpass");
    const std::string token = storedValue(text, "pushtoken");
    EXPECT_EQ(text,
              "[Optionen]\r\nhspiegeln = 0\r\n[Fernalarm]\r\nmqtt = 1\r\n"
              "mqttserver = broker.example.org\r\nmqttport = 8883\r\nmqtttls = 1\r\n"
              "mqttuser = haus\r\nmqttpass = " +
                  mqttPass +
                  "\r\nmqttthema = haus/keller\r\nmail = 1\r\n"
                  "mailserver = smtp.example.org\r\nmailport = 465\r\n"
                  "mailsicherheit = 2\r\nmailuser = j\xC3\xBCrgen\r\nmailpass = " +
                  mailPass +
                  "\r\nmailabsender = kamera@example.org\r\n"
                  "mailempfaenger = a@example.org, b@example.org\r\nmailvideo = 0\r\n"
                  "push = 1\r\npushurl = https://ntfy.example.org/keller\r\npushtoken = " +
                  token +
                  "\r\npushformat = 1\r\nabstand = 0\r\nausgang = 250\r\n"
                  "mqttzertifikat = " +
                  std::string(64, 'a') + "\r\nmailzertifikat = " + std::string(64, 'b') +
                  "\r\npushzertifikat = " + std::string(64, 'c') + "\r\n");
    EXPECT_EQ(loadRemoteAlarmOptions(m_path), options);
}

TEST_F(RemoteAlarmOptionsTest, PasswordsAndTokenAreScrambledAsTheFtpPasswordIs) {
    saveRemoteAlarmOptions(chosen(), m_path);
    const std::string text = contents();
    EXPECT_EQ(text.find("geheim"), std::string::npos);
    EXPECT_EQ(text.find("tk_123"), std::string::npos);
    EXPECT_EQ(unscrambleCredential(storedValue(text, "mqttpass"), credentialKey), "mqtt-geheim");
    EXPECT_EQ(unscrambleCredential(storedValue(text, "mailpass"), credentialKey), "mail geheim");
    EXPECT_EQ(unscrambleCredential(storedValue(text, "pushtoken"), credentialKey), "tk_123");

    // The stored form of "pass" in "Optionen" reads the same in either group.
    const std::string stored = scrambleCredential("gleich", credentialKey);
    put("[Optionen]\r\npass = " + stored + "\r\n[Fernalarm]\r\nmqttpass = " + stored +
        "\r\nmailpass = " + stored + "\r\npushtoken = " + stored + "\r\n");
    const RemoteAlarmOptions options = loadRemoteAlarmOptions(m_path);
    EXPECT_EQ(readGeneralSettings(m_path).password, "gleich");
    EXPECT_EQ(options.mqttPassword, "gleich");
    EXPECT_EQ(options.mailPassword, "gleich");
    EXPECT_EQ(options.pushToken, "gleich");
}

TEST_F(RemoteAlarmOptionsTest, ValuesOutsideTheirRangesStopAtTheNearestEnd) {
    put("[fernalarm]\r\nMQTT = 5\r\nmqttport = 0\r\nmailport = 70000\r\nmailsicherheit = 3\r\n"
        "mailvideo = -1\r\npushformat = 9\r\nabstand = -5\r\nausgang = 0\r\n");
    RemoteAlarmOptions options = loadRemoteAlarmOptions(m_path);
    EXPECT_TRUE(options.mqtt);
    EXPECT_EQ(options.mqttPort, 1);
    EXPECT_EQ(options.mailPort, 65535);
    EXPECT_EQ(options.mailSecurity, 2);
    EXPECT_EQ(options.mailVideoMb, 0);
    EXPECT_EQ(options.pushFormat, 1);
    EXPECT_EQ(options.intervalSeconds, 0);
    EXPECT_EQ(options.outboxMb, 1);
    put("[Fernalarm]\r\nmqttport = 99999999999\r\nmailport = -3\r\nmailsicherheit = -1\r\n"
        "mailvideo = 101\r\npushformat = -1\r\nabstand = 3601\r\nausgang = 10001\r\n");
    options = loadRemoteAlarmOptions(m_path);
    EXPECT_EQ(options.mqttPort, 65535);
    EXPECT_EQ(options.mailPort, 1);
    EXPECT_EQ(options.mailSecurity, 0);
    EXPECT_EQ(options.mailVideoMb, 100);
    EXPECT_EQ(options.pushFormat, 0);
    EXPECT_EQ(options.intervalSeconds, 3600);
    EXPECT_EQ(options.outboxMb, 10000);
}

}  // namespace

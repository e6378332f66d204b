#include "app/gadgetlayout.h"

#include <array>

namespace {

using enum Gadget;
using enum GadgetKind;
using enum GadgetParent;

constexpr std::array kLayout = {
    GadgetLayout{recordModeCheck, CheckBox, Window, "Aufzeichnungs-Modus einschalten", 516, 4, 240,
                 16},
    GadgetLayout{aboutButton, Button, Window, "Über", 756, 4, 40, 18},
    GadgetLayout{settingsScroll, ScrollArea, Window, "", 516, 24, 280, 256},
    GadgetLayout{settingsPanel, TabPanel, SettingsScroll, "Allgemein|Video|Zähler|Internet", 0, 0,
                 368, 480},

    GadgetLayout{cameraDialogsLabel, Text, GeneralPage, "Kamera-Dialoge aufrufen:", 4, 4, 304, 16},
    GadgetLayout{formatButton, Button, GeneralPage, "Format", 4, 22, 50, 20},
    GadgetLayout{sourceButton, Button, GeneralPage, "Source", 58, 22, 48, 20},
    GadgetLayout{displayButton, Button, GeneralPage, "Display", 110, 22, 48, 20},
    GadgetLayout{compressionButton, Button, GeneralPage, "Kompression", 162, 22, 74, 20},
    GadgetLayout{takeTimeButton, Button, GeneralPage, "Uhrzeit", 4, 54, 46, 20},
    GadgetLayout{takeTimeLabel, Text, GeneralPage, "in aktuellem Tab ersetzen mit", 54, 57, 144,
                 16},
    GadgetLayout{timePicker, TimePicker, GeneralPage, "", 198, 54, 60, 20},
    GadgetLayout{resetButton, Button, GeneralPage, "Reset", 4, 74, 40, 20},
    GadgetLayout{resetLabel, Text, GeneralPage, "aller Uhrzeiten und Schieberegler", 48, 77, 260,
                 16},
    GadgetLayout{ownPlayerCheck, CheckBox, GeneralPage,
                 "Eigenen Player zum Videos abspielen benutzen", 4, 105, 304, 16},
    GadgetLayout{mirrorCheck, CheckBox, GeneralPage, "Anzeige-Bild horizontal spiegeln", 4, 125,
                 304, 16},

    GadgetLayout{audioInfoCheck, CheckBox, VideoPage,
                 "Audioinformationen in Videodatei mitspeichern", 4, 4, 304, 16},
    GadgetLayout{beepCheck, CheckBox, VideoPage, "Hinweiston bei Überschreitung des Auslösers", 4,
                 32, 304, 16},
    GadgetLayout{soundCheck, CheckBox, VideoPage,
                 "Sound abspielen bei Überschreitung des Auslösers", 4, 52, 304, 16},
    GadgetLayout{soundFileField, StringField, VideoPage, "", 4, 72, 208, 20},
    GadgetLayout{soundFileButton, Button, VideoPage, "Datei", 216, 72, 40, 20},
    GadgetLayout{clipLengthSpin, Spin, VideoPage, "", 4, 104, 40, 18, 3, 300, 3},
    GadgetLayout{clipLengthLabel, Text, VideoPage, "Sekunden lange Videodateien erstellen", 48, 107,
                 260, 16},
    GadgetLayout{waitSpin, Spin, VideoPage, "", 4, 124, 40, 18, 0, 300, 0},
    GadgetLayout{waitLabel, Text, VideoPage, "Sekunden warten nach einer Aufzeichnung", 48, 127,
                 260, 16},
    GadgetLayout{videoToolCheck, CheckBox, VideoPage,
                 "Nach Videozeugung ein Tool (mit Video) starten", 4, 152, 304, 16},
    GadgetLayout{videoToolField, StringField, VideoPage, "", 4, 172, 208, 20},
    GadgetLayout{videoToolButton, Button, VideoPage, "Datei", 216, 172, 40, 20},

    GadgetLayout{countOnlyCheck, CheckBox, CounterPage, "Nie Videos erstellen, nur Zähler erhöhen",
                 4, 6, 212, 16},
    GadgetLayout{counterField, RightAlignedField, CounterPage, "0", 216, 4, 40, 20},

    GadgetLayout{uploadCheck, CheckBox, InternetPage,
                 "Pro Minute ein aktuelles Bild hochladen (per FTP)", 4, 4, 304, 16},
    GadgetLayout{ftpOptionsLabel, Text, InternetPage, "Einwahl-Optionen für FTP:", 4, 30, 304, 16},
    GadgetLayout{serverLabel, Text, InternetPage, "Servername", 4, 50, 60, 16},
    GadgetLayout{serverField, StringField, InternetPage, "", 76, 49, 180, 18},
    GadgetLayout{userLabel, Text, InternetPage, "Username", 4, 70, 60, 16},
    GadgetLayout{userField, StringField, InternetPage, "", 76, 69, 180, 18},
    GadgetLayout{passwordLabel, Text, InternetPage, "Passwort", 4, 90, 60, 16},
    GadgetLayout{passwordField, PasswordField, InternetPage, "", 76, 89, 180, 18},
    GadgetLayout{pictureNameLabel, Text, InternetPage, "Bildname (JPG, ggf. mit Pfad)", 4, 110, 150,
                 16},
    GadgetLayout{pictureNameField, StringField, InternetPage, "sentello.jpg", 166, 109, 90, 18},
    GadgetLayout{pictureToolCheck, CheckBox, InternetPage,
                 "Nach Bilderzeugung ein Tool (mit Bild) starten", 4, 138, 304, 16},
    GadgetLayout{pictureToolField, StringField, InternetPage, "", 4, 158, 208, 20},
    GadgetLayout{pictureToolButton, Button, InternetPage, "Datei", 216, 158, 40, 20},
    GadgetLayout{uploadStatusLabel, Text, InternetPage, "", 4, 186, 252, 30},
    GadgetLayout{settingsRule, Container, InternetPage, "", 4, 376, 304, 3},

    GadgetLayout{slotTabs, TabStrip, Window, "06:00|11:00|18:00|22:00", 328, 4, 184, 21},
    GadgetLayout{clockLabel, Text, Window, "", 328, 30, 184, 16},
    GadgetLayout{triggerIndicator, FramedText, Window, "", 328, 200, 184, 45},
    GadgetLayout{brightnessSlider, Slider, Window, "", 328, 72, 184, 24, 0, 255, 128},
    GadgetLayout{sensitivitySlider, Slider, Window, "", 328, 120, 184, 24, 1, 500, 50},
    GadgetLayout{triggerSlider, Slider, Window, "", 328, 168, 184, 24, 1, 100, 25},
    GadgetLayout{brightnessLabel, Text, Window, "Helligkeit: ", 328, 56, 184, 16},
    GadgetLayout{sensitivityLabel, Text, Window, "Empfindlichkeit: ", 328, 104, 184, 16},
    GadgetLayout{triggerLabel, Text, Window, "Auslöser (Prozent): ", 328, 152, 184, 16},
    GadgetLayout{upperMarker, Container, Window, "", 4, 248, 3, 8},
    GadgetLayout{levelBar, ProgressBar, Window, "", 4, 256, 508, 16, 0, 100, 0},
    GadgetLayout{lowerMarker, Container, Window, "", 4, 272, 3, 8},
    GadgetLayout{videoList, List, Window, "Video:640|Erstellungsdatum:120", 4, 284, 792, 192},
};

}  // namespace

std::span<const GadgetLayout> mainWindowLayout() {
    return kLayout;
}

#pragma once

#include <span>

#include "app/gadgets.h"

enum class GadgetKind {
    CheckBox,
    Button,
    Text,
    FramedText,  // text with a dialog frame and a sunken edge
    StringField,
    PasswordField,
    RightAlignedField,
    Spin,
    Slider,
    TimePicker,
    TabPanel,  // tabs with a page each
    TabStrip,  // tabs without pages
    ScrollArea,
    Container,
    ProgressBar,
    List,
};

// Where a gadget sits: on the main window or on a page of the settings panel.
enum class GadgetParent {
    Window,
    SettingsScroll,
    GeneralPage,
    VideoPage,
    CounterPage,
    InternetPage
};

// One row of the layout: positions in pixels within the parent. Tab texts and list columns are
// separated by '|'; a list column is "title:width".
struct GadgetLayout {
    Gadget number;
    GadgetKind kind;
    GadgetParent parent;
    const char* text;
    int x, y, width, height;
    int minimum = 0, maximum = 0, start = 0;
};

// Every gadget in creation order.
std::span<const GadgetLayout> mainWindowLayout();

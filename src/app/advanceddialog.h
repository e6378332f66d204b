#pragma once

#include <optional>

#include "settings/advancedoptions.h"

class QWidget;

// "Erweiterte Einstellungen": the options beyond the classic ones, each with a line of help.
// Modal, beside the live picture; the chosen options, or none when it was cancelled.
// `showBlockDifferences` is the one choice there that is not stored: the wash over the live
// picture once the dialog is closed.
std::optional<AdvancedOptions> editAdvancedOptions(QWidget* parent, const QWidget& livePicture,
                                                   const AdvancedOptions& current,
                                                   bool& showBlockDifferences);

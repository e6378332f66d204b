#pragma once

// Qt's own texts (the buttons of message boxes, the file requesters) in German, as the rest of
// the window is, whatever language the session has. Needs a QApplication.
void installGermanTranslations();

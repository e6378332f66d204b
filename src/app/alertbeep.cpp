#include "app/alertbeep.h"

#include <QApplication>

#include <canberra.h>

AlertBeep::AlertBeep() {
    if (ca_context_create(&m_context) != CA_SUCCESS) {
        m_context = nullptr;
        return;
    }
    ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, "Sentello", nullptr);
}

AlertBeep::~AlertBeep() {
    if (m_context)
        ca_context_destroy(m_context);
}

void AlertBeep::beep() {
    if (m_context &&
        ca_context_play(m_context, 0, CA_PROP_EVENT_ID, "bell", nullptr) == CA_SUCCESS) {
        return;
    }
    QApplication::beep();
}

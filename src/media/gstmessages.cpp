#include "media/gstmessages.h"

#include "media/gstpointer.h"

std::string errorText(GstMessage* message) {
    GError* parsed = nullptr;
    gst_message_parse_error(message, &parsed, nullptr);
    const GErrorPointer error(parsed);
    return error ? error->message : "error";
}

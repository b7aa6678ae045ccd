#include "tests/sml/smloracle.h"

extern "C" {
#include <sml/sml_file.h>
#include <sml/sml_value.h>
}

LibsmlReading readWithLibsml(const QByteArray &frame)
{
    LibsmlReading reading;
    constexpr int kStartEscape = 8, kEndTrailer = 8;
    QByteArray body = frame.mid(kStartEscape, frame.size() - kStartEscape - kEndTrailer);
    sml_file *file = frame.size() < kStartEscape + kEndTrailer
        ? nullptr : sml_file_parse(reinterpret_cast<unsigned char *>(body.data()), std::size_t(body.size()));
    for (int i = 0; file && i < file->messages_len; ++i) {
        sml_message *msg = file->messages[i];
        if (!msg->message_body || *msg->message_body->tag != SML_MESSAGE_GET_LIST_RESPONSE)
            continue;
        reading.accepted = file->messages_len >= 3;
        const auto *list = static_cast<sml_get_list_response *>(msg->message_body->data);
        for (sml_list *e = list->val_list; e; e = e->next) {
            const int type = e->value && e->obj_name && e->obj_name->len == 6 ? e->value->type & 0x70 : 0;
            if (type == SML_TYPE_INTEGER || type == SML_TYPE_UNSIGNED)
                reading.values.append({ QByteArray(reinterpret_cast<const char *>(e->obj_name->str), 6),
                                        sml_value_to_double(e->value), e->scaler ? *e->scaler : 0,
                                        e->unit ? int(*e->unit) : -1 });
        }
    }
    sml_file_free(file);
    return reading;
}

// The 2018 libsml snapshot leaks the parts it had read when it rejects a
// file; that is its own fault, not ours, so the sanitizer build ignores it.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libsml.so\n";
}

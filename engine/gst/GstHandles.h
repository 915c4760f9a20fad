#pragma once

// Owners for the GLib and GStreamer resources of the player and the ringtone encoders. Each
// owner holds exactly one reference and drops it when it dies; the factory functions say how
// that reference is taken.

#include <glib.h>
#include <gst/gst.h>
#include <memory>

namespace orvanta {

struct GstObjectUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
struct GstMessageUnref {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};

template <typename T> using GstOwner = std::unique_ptr<T, GstObjectUnref>;
using MessageOwner = std::unique_ptr<GstMessage, GstMessageUnref>;
using ErrorOwner = std::unique_ptr<GError, GErrorFree>;
using TextOwner = std::unique_ptr<gchar, GFree>;

// For a reference the caller already owns (transfer full, not floating): adopts it.
template <typename T> GstOwner<T> AdoptObject(T* object) {
    return GstOwner<T>(object);
}

// For a new object that may still be floating (transfer floating): sinks it, so the owner
// holds the only reference. A non-floating object gains a reference instead.
template <typename T> GstOwner<T> SinkObject(T* object) {
    if (object != nullptr) {
        gst_object_ref_sink(object);
    }
    return GstOwner<T>(object);
}

} // namespace orvanta

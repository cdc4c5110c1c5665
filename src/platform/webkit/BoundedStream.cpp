#include "platform/webkit/BoundedStream.h"

namespace velloc::webkit {
namespace {

struct VellocBoundedStream {
  GInputStream Parent;
  GInputStream* Base;  // owned reference
  guint64 Limit;
  guint64 Passed;
};

struct VellocBoundedStreamClass {
  GInputStreamClass ParentClass;
};

VellocBoundedStream* Self(gpointer object) {
  return static_cast<VellocBoundedStream*>(object);
}

// What a read of the base gave, counted: an error once the bytes passed on go beyond the limit.
gssize Counted(VellocBoundedStream* self, gssize read, GError** error) {
  if (read <= 0) return read;
  self->Passed += static_cast<guint64>(read);
  if (self->Passed <= self->Limit) return read;
  g_set_error(error, G_IO_ERROR, G_IO_ERROR_MESSAGE_TOO_LARGE,
              "The answer is larger than %" G_GUINT64_FORMAT " bytes", self->Limit);
  return -1;
}

gssize Read(GInputStream* stream, void* buffer, gsize count, GCancellable* cancellable,
            GError** error) {
  VellocBoundedStream* self = Self(stream);
  return Counted(self, g_input_stream_read(self->Base, buffer, count, cancellable, error), error);
}

void OnBaseRead(GObject* base, GAsyncResult* result, gpointer data) {
  GTask* task = G_TASK(data);
  GError* error = nullptr;
  gssize read = g_input_stream_read_finish(G_INPUT_STREAM(base), result, &error);
  if (read >= 0) read = Counted(Self(g_task_get_source_object(task)), read, &error);
  if (read < 0) {
    g_task_return_error(task, error);
  } else {
    g_task_return_int(task, read);
  }
  g_object_unref(task);
}

void ReadAsync(GInputStream* stream, void* buffer, gsize count, int priority,
               GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
  GTask* task = g_task_new(stream, cancellable, callback, data);
  g_input_stream_read_async(Self(stream)->Base, buffer, count, priority, cancellable, OnBaseRead,
                            task);
}

gssize ReadFinish(GInputStream*, GAsyncResult* result, GError** error) {
  return g_task_propagate_int(G_TASK(result), error);
}

gboolean Close(GInputStream* stream, GCancellable* cancellable, GError** error) {
  return g_input_stream_close(Self(stream)->Base, cancellable, error);
}

void Finalize(GObject* object) {
  g_clear_object(&Self(object)->Base);
  G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(object)))->finalize(object);
}

void ClassInit(gpointer klass, gpointer) {
  G_OBJECT_CLASS(klass)->finalize = Finalize;
  auto* stream = G_INPUT_STREAM_CLASS(klass);
  stream->read_fn = Read;
  stream->read_async = ReadAsync;
  stream->read_finish = ReadFinish;
  stream->close_fn = Close;
}

GType BoundedStreamType() {
  static const GType type = [] {
    const GTypeInfo info{
        sizeof(VellocBoundedStreamClass), nullptr, nullptr, ClassInit, nullptr, nullptr,
        sizeof(VellocBoundedStream),      0,       nullptr, nullptr};
    return g_type_register_static(G_TYPE_INPUT_STREAM, "VellocBoundedStream", &info, GTypeFlags{});
  }();
  return type;
}

}  // namespace

GInputStream* NewBoundedStream(GInputStream* base, guint64 limit) {
  auto* self = Self(g_object_new(BoundedStreamType(), nullptr));
  self->Base = G_INPUT_STREAM(g_object_ref(base));
  self->Limit = limit;
  self->Passed = 0;
  return G_INPUT_STREAM(self);
}

}  // namespace velloc::webkit

#include "platform/webkit/BodyStream.h"

#include <algorithm>
#include <cstring>

namespace velloc::webkit {
namespace {

// The answer to one asynchronous read. GTask cannot stand in: a task created and returned in
// the same main-loop turn always defers its callback to the next turn, which is the cost this
// stream exists to avoid.
struct VellocBodyReadResult {
  GObject Parent;
  GObject* Source;  // owned reference
  gpointer UserData;
  gssize Size;
  GError* Error;  // owned; set instead of Size
};

struct VellocBodyReadResultClass {
  GObjectClass ParentClass;
};

GType BodyReadResultType();

VellocBodyReadResult* ResultOf(gpointer object) {
  return reinterpret_cast<VellocBodyReadResult*>(object);
}

void ResultFinalize(GObject* object) {
  VellocBodyReadResult* self = ResultOf(object);
  g_clear_object(&self->Source);
  g_clear_error(&self->Error);
  G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(object)))->finalize(object);
}

void ResultClassInit(gpointer klass, gpointer) {
  G_OBJECT_CLASS(klass)->finalize = ResultFinalize;
}

void InitAsyncResult(gpointer iface, gpointer) {
  auto* result = static_cast<GAsyncResultIface*>(iface);
  result->get_user_data = [](GAsyncResult* r) { return ResultOf(r)->UserData; };
  result->get_source_object = [](GAsyncResult* r) {
    return static_cast<GObject*>(g_object_ref(ResultOf(r)->Source));
  };
  result->is_tagged = [](GAsyncResult*, gpointer) -> gboolean { return FALSE; };
}

GType BodyReadResultType() {
  static const GType type = [] {
    const GTypeInfo info{
        sizeof(VellocBodyReadResultClass), nullptr, nullptr, ResultClassInit, nullptr, nullptr,
        sizeof(VellocBodyReadResult),      0,       nullptr, nullptr};
    const GType registered =
        g_type_register_static(G_TYPE_OBJECT, "VellocBodyReadResult", &info, GTypeFlags{});
    const GInterfaceInfo asyncResult{InitAsyncResult, nullptr, nullptr};
    g_type_add_interface_static(registered, G_TYPE_ASYNC_RESULT, &asyncResult);
    return registered;
  }();
  return type;
}

struct TPendingRead {
  void* Buffer;
  gsize Count;
  int Priority;
  GCancellable* Cancellable;  // owned reference, may be null
  GAsyncReadyCallback Callback;
  gpointer UserData;
};

struct VellocBodyStream {
  GInputStream Parent;
  GBytes* Bytes;                   // owned reference, or null for a body read in parts
  platform::IResponseBody* Parts;  // owned, when Bytes is null
  gsize Size;
  gsize Position;
  gsize PieceSize;
  int ReadsPerTurn;
  bool Delivering;  // inside Deliver: a read asked for now is answered in the same turn
  bool HasPending;
  TPendingRead Pending;
};

struct VellocBodyStreamClass {
  GInputStreamClass ParentClass;
};

GType BodyStreamType();

VellocBodyStream* StreamOf(gpointer object) {
  return reinterpret_cast<VellocBodyStream*>(object);
}

gssize CopyOut(VellocBodyStream* self, void* buffer, gsize count, GError** error) {
  const gsize n = std::min({count, self->PieceSize, self->Size - self->Position});
  if (n && self->Bytes) {
    const auto* data = static_cast<const char*>(g_bytes_get_data(self->Bytes, nullptr));
    std::memcpy(buffer, data + self->Position, n);
  } else if (n && !self->Parts->Read(self->Position, {static_cast<std::uint8_t*>(buffer), n})) {
    g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_FAILED, "The package entry cannot be read");
    return -1;
  }
  self->Position += n;
  return static_cast<gssize>(n);
}

gssize Read(GInputStream* stream, void* buffer, gsize count, GCancellable* cancellable,
            GError** error) {
  if (g_cancellable_set_error_if_cancelled(cancellable, error)) return -1;
  return CopyOut(StreamOf(stream), buffer, count, error);
}

gboolean Deliver(gpointer data);

void ScheduleDelivery(VellocBodyStream* self, int priority) {
  g_idle_add_full(priority, Deliver, g_object_ref(self), g_object_unref);
}

gboolean Deliver(gpointer data) {
  VellocBodyStream* self = StreamOf(data);
  self->Delivering = true;
  // The callback usually asks for the next read at once; that read lands in Pending and this
  // loop answers it, so no call nests inside another.
  for (int i = 0; i < self->ReadsPerTurn && self->HasPending; ++i) {
    TPendingRead read = self->Pending;
    self->HasPending = false;
    auto* result = ResultOf(g_object_new(BodyReadResultType(), nullptr));
    result->Source = G_OBJECT(g_object_ref(self));
    result->UserData = read.UserData;
    if (!g_cancellable_set_error_if_cancelled(read.Cancellable, &result->Error)) {
      result->Size = CopyOut(self, read.Buffer, read.Count, &result->Error);
    }
    if (read.Cancellable) g_object_unref(read.Cancellable);
    read.Callback(G_OBJECT(self), G_ASYNC_RESULT(result), read.UserData);
    g_object_unref(result);
  }
  self->Delivering = false;
  if (self->HasPending) ScheduleDelivery(self, self->Pending.Priority);
  return G_SOURCE_REMOVE;
}

void ReadAsync(GInputStream* stream, void* buffer, gsize count, int priority,
               GCancellable* cancellable, GAsyncReadyCallback callback, gpointer userData) {
  VellocBodyStream* self = StreamOf(stream);
  // GInputStream allows one outstanding read, so one slot is enough.
  self->Pending = TPendingRead{
      buffer,   count,   priority, cancellable ? G_CANCELLABLE(g_object_ref(cancellable)) : nullptr,
      callback, userData};
  self->HasPending = true;
  // Never from here: a callback is not called before its read call returns.
  if (!self->Delivering) ScheduleDelivery(self, priority);
}

gssize ReadFinish(GInputStream*, GAsyncResult* result, GError** error) {
  VellocBodyReadResult* answer = ResultOf(result);
  if (answer->Error) {
    g_propagate_error(error, g_error_copy(answer->Error));
    return -1;
  }
  return answer->Size;
}

void StreamFinalize(GObject* object) {
  VellocBodyStream* self = StreamOf(object);
  if (self->Bytes) g_bytes_unref(self->Bytes);
  delete self->Parts;
  G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(object)))->finalize(object);
}

void StreamClassInit(gpointer klass, gpointer) {
  G_OBJECT_CLASS(klass)->finalize = StreamFinalize;
  auto* stream = G_INPUT_STREAM_CLASS(klass);
  stream->read_fn = Read;
  stream->read_async = ReadAsync;
  stream->read_finish = ReadFinish;
}

GType BodyStreamType() {
  static const GType type = [] {
    const GTypeInfo info{
        sizeof(VellocBodyStreamClass), nullptr, nullptr, StreamClassInit, nullptr, nullptr,
        sizeof(VellocBodyStream),      0,       nullptr, nullptr};
    return g_type_register_static(G_TYPE_INPUT_STREAM, "VellocBodyStream", &info, GTypeFlags{});
  }();
  return type;
}

}  // namespace

GInputStream* NewBodyStream(GBytes* bytes, gsize pieceSize, int readsPerTurn) {
  VellocBodyStream* self = StreamOf(g_object_new(BodyStreamType(), nullptr));
  self->Bytes = g_bytes_ref(bytes);
  self->Size = g_bytes_get_size(bytes);
  self->PieceSize = std::max<gsize>(pieceSize, 1);
  self->ReadsPerTurn = std::max(readsPerTurn, 1);
  return G_INPUT_STREAM(self);
}

GInputStream* NewBodyStream(std::unique_ptr<platform::IResponseBody> body, gsize pieceSize,
                            int readsPerTurn) {
  VellocBodyStream* self = StreamOf(g_object_new(BodyStreamType(), nullptr));
  self->Size = static_cast<gsize>(body->Size());
  self->Parts = body.release();
  self->PieceSize = std::max<gsize>(pieceSize, 1);
  self->ReadsPerTurn = std::max(readsPerTurn, 1);
  return G_INPUT_STREAM(self);
}

}  // namespace velloc::webkit

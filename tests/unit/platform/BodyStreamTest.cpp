#include <algorithm>
#include <array>
#include <string>

#include <gtest/gtest.h>

#include "platform/webkit/BodyStream.h"

namespace velloc::webkit {
namespace {

// Reads a stream the way WebKit reads a scheme response: one 8 KiB read at a time, the next
// asked for from the callback of the last, until a read returns 0 or fails.
struct TReader {
  explicit TReader(GInputStream* stream) : Stream(stream) {}

  GInputStream* Stream;  // the reader's only reference, dropped at the end as WebKit does
  GCancellable* Cancellable = nullptr;
  int CancelAfter = -1;  // reads before the cancellable is cancelled
  std::array<char, 8192> Buffer{};
  std::string Received;
  gssize LargestPiece = 0;
  int Reads = 0;
  bool InsideReadCall = false;
  bool NestedCallback = false;
  bool Done = false;
  GError* Error = nullptr;

  void Next() {
    InsideReadCall = true;
    g_input_stream_read_async(Stream, Buffer.data(), Buffer.size(), G_PRIORITY_DEFAULT, Cancellable,
                              &TReader::OnRead, this);
    InsideReadCall = false;
  }

  static void OnRead(GObject* source, GAsyncResult* result, gpointer data) {
    auto* self = static_cast<TReader*>(data);
    if (self->InsideReadCall) self->NestedCallback = true;
    const gssize n = g_input_stream_read_finish(G_INPUT_STREAM(source), result, &self->Error);
    if (n <= 0) {
      g_object_unref(self->Stream);
      self->Done = true;
      return;
    }
    self->Received.append(self->Buffer.data(), static_cast<std::size_t>(n));
    self->LargestPiece = std::max(self->LargestPiece, n);
    if (++self->Reads == self->CancelAfter) g_cancellable_cancel(self->Cancellable);
    self->Next();
  }
};

std::string Body(std::size_t size) {
  std::string body(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    body[i] = static_cast<char>((i * 131 + i / 7) & 0xff);
  return body;
}

GInputStream* StreamOver(const std::string& body, gsize pieceSize, int readsPerTurn) {
  GBytes* bytes = g_bytes_new(body.data(), body.size());
  GInputStream* stream = NewBodyStream(bytes, pieceSize, readsPerTurn);
  g_bytes_unref(bytes);
  return stream;
}

int RunUntilDone(const TReader& reader) {
  int turns = 0;
  while (!reader.Done) {
    g_main_context_iteration(nullptr, TRUE);
    ++turns;
  }
  return turns;
}

TEST(BodyStream, AnswersARunOfPiecesPerTurnWithoutNesting) {
  struct TCase {
    std::size_t Size;
    gsize PieceSize;
    int ReadsPerTurn;
    int Turns;  // reads (whole pieces, a short one, the final 0) over reads per turn, rounded up
  };
  for (const TCase c : {TCase{100'000, 8192, 4, 4}, TCase{100'000, kInlinePieceSize, 64, 1},
                        TCase{8192, 8192, 32, 1}, TCase{0, 8192, 32, 1},
                        TCase{1'000'000, 8192, 32, 4}, TCase{20'000, kInlinePieceSize, 1, 7}}) {
    SCOPED_TRACE(testing::Message() << c.Size << " bytes in pieces of " << c.PieceSize);
    const std::string body = Body(c.Size);
    TReader reader(StreamOver(body, c.PieceSize, c.ReadsPerTurn));
    reader.Next();
    EXPECT_EQ(RunUntilDone(reader), c.Turns);
    EXPECT_EQ(reader.Error, nullptr);
    EXPECT_FALSE(reader.NestedCallback);
    EXPECT_EQ(reader.Received, body);
    EXPECT_LE(reader.LargestPiece, static_cast<gssize>(c.PieceSize));
  }
}

TEST(BodyStream, ACancelledReadFailsAsCancelled) {
  const std::string body = Body(100'000);
  TReader reader(StreamOver(body, 8192, 32));
  reader.Cancellable = g_cancellable_new();
  reader.CancelAfter = 2;
  reader.Next();
  RunUntilDone(reader);
  ASSERT_NE(reader.Error, nullptr);
  EXPECT_TRUE(g_error_matches(reader.Error, G_IO_ERROR, G_IO_ERROR_CANCELLED));
  EXPECT_EQ(reader.Received, body.substr(0, 2 * 8192));
  g_error_free(reader.Error);
  g_object_unref(reader.Cancellable);
}

TEST(BodyStream, ReadsAndSkipsSynchronously) {
  const std::string body = Body(30'000);
  GInputStream* stream = StreamOver(body, 4096, 32);
  EXPECT_EQ(g_input_stream_skip(stream, 10'000, nullptr, nullptr), 10'000);
  std::string rest(30'000, '\0');
  gsize read = 0;
  ASSERT_TRUE(g_input_stream_read_all(stream, rest.data(), rest.size(), &read, nullptr, nullptr));
  EXPECT_EQ(rest.substr(0, read), body.substr(10'000));
  EXPECT_EQ(g_input_stream_skip(stream, 10, nullptr, nullptr), 0);
  g_object_unref(stream);
}

}  // namespace
}  // namespace velloc::webkit

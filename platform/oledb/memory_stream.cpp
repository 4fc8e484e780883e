#include "platform/oledb/memory_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/com/com_memory.h"

memory_stream::~memory_stream() { CoTaskMemFree(buffer_); }

HRESULT memory_stream::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_ISequentialStream) {
    *out = static_cast<ISequentialStream*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG memory_stream::AddRef() { return ++refs_; }

ULONG memory_stream::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT memory_stream::Read(void* destination, ULONG count, ULONG* read) {
  if (read) *read = 0;
  if (!destination) return STG_E_INVALIDPOINTER;
  if (count == 0) return S_OK;
  if (position_ >= size_) return S_FALSE;
  ULONG n = std::min(count, size_ - position_);
  std::memcpy(destination, buffer_ + position_, n);
  position_ += n;
  if (read) *read = n;
  return n == count ? S_OK : S_FALSE;
}

HRESULT memory_stream::Write(const void* source, ULONG count, ULONG* written) {
  if (!source) return STG_E_INVALIDPOINTER;
  if (written) *written = 0;
  if (count == 0) return S_OK;
  if (count > ~ULONG{0} - size_) return E_OUTOFMEMORY;
  auto* grown = static_cast<BYTE*>(CoTaskMemRealloc(buffer_, std::size_t{size_} + count));
  if (!grown) return E_OUTOFMEMORY;
  buffer_ = grown;
  // Appended after what the stream holds: a second write never overwrites
  // the first one's bytes.
  std::memcpy(buffer_ + size_, source, count);
  size_ += count;
  if (written) *written = count;
  return S_OK;
}

void memory_stream::set_position(ULONG offset) { position_ = offset; }

void memory_stream::clear() {
  CoTaskMemFree(buffer_);
  buffer_ = nullptr;
  size_ = 0;
  position_ = 0;
}

bool memory_stream::equals(const void* data) const {
  return size_ == 0 || (data && std::memcmp(buffer_, data, size_) == 0);
}

// A byte stream in task memory: long binary and text values are written into
// one and handed to a bulk-load rowset, which reads them back.
#pragma once

#include "platform/oledb/oledb_interfaces.h"

class memory_stream : public ISequentialStream {
 public:
  // Created with one reference, held by the creator.
  memory_stream() = default;
  memory_stream(const memory_stream&) = delete;
  memory_stream& operator=(const memory_stream&) = delete;

  // IUnknown or ISequentialStream; anything else E_NOINTERFACE.
  HRESULT QueryInterface(REFIID iid, void** out) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // Copies up to count bytes from the read position: S_OK when all were
  // there, S_FALSE when fewer (none at the end).
  HRESULT Read(void* destination, ULONG count, ULONG* read) override;
  // Appends count bytes; the read position stays, so a stream written once
  // is read from its beginning.
  HRESULT Write(const void* source, ULONG count, ULONG* written) override;

  virtual void set_position(ULONG offset);
  virtual void clear();
  // The first size() bytes of data equal the stream's.
  virtual bool equals(const void* data) const;
  virtual ULONG size() const { return size_; }

 protected:
  virtual ~memory_stream();

 private:
  ULONG refs_ = 1;
  BYTE* buffer_ = nullptr;
  ULONG size_ = 0;
  ULONG position_ = 0;
};

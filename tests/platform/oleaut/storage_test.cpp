// BSTR, SAFEARRAY and VARIANT ownership: allocation, copies and clearing.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/oleaut/oleaut.h"

TEST(Bstr, LengthPrefixHoldsEmbeddedZerosAndNullReadsEmpty) {
  const wchar_t chars[] = {L'a', 0, L'b'};
  BSTR text = SysAllocStringLen(chars, 3);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text), 3u);
  EXPECT_EQ(SysStringByteLen(text), 3u * sizeof(OLECHAR));
  EXPECT_EQ(bstr_text(text), std::wstring(chars, 3));
  EXPECT_EQ(text[3], 0);
  SysFreeString(text);

  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(bstr_text(nullptr), L"");
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  SysFreeString(nullptr);

  unique_bstr empty(bstr_from(L""));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty.get()), 0u);

  BSTR zeroed = SysAllocStringLen(nullptr, 2);
  EXPECT_EQ(zeroed[0], 0);
  EXPECT_EQ(SysStringLen(zeroed), 2u);
  ASSERT_TRUE(SysReAllocStringLen(&zeroed, L"xyz", 3));
  EXPECT_EQ(bstr_text(zeroed), L"xyz");
  SysFreeString(zeroed);

  EXPECT_EQ(SysAllocStringLen(L"", 0xFFFFFFFFu), nullptr);
}

TEST(SafeArray, ByteVectorBoundsRedimCopyAndLocks) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 3);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(SafeArrayGetDim(array), 1u);
  EXPECT_EQ(SafeArrayGetElemsize(array), 1u);
  LONG lower = -5, upper = -5;
  EXPECT_EQ(SafeArrayGetLBound(array, 1, &lower), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(array, 1, &upper), S_OK);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(upper, 2);
  EXPECT_EQ(SafeArrayGetUBound(array, 2, &upper), DISP_E_BADINDEX);

  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
  std::memcpy(data, "abc", 3);
  // A locked array can be neither resized nor destroyed.
  SAFEARRAYBOUND bigger{5, 0};
  EXPECT_EQ(SafeArrayRedim(array, &bigger), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
  ASSERT_EQ(SafeArrayUnaccessData(array), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(array), E_UNEXPECTED);

  ASSERT_EQ(SafeArrayRedim(array, &bigger), S_OK);
  const auto* bytes = static_cast<const unsigned char*>(array->pvData);
  EXPECT_EQ(std::memcmp(bytes, "abc\0\0", 5), 0);

  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(array, &copy), S_OK);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->pvData, array->pvData);
  EXPECT_EQ(std::memcmp(copy->pvData, "abc\0\0", 5), 0);

  SAFEARRAYBOUND none{0, 0};
  ASSERT_EQ(SafeArrayRedim(copy, &none), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(copy, 1, &upper), S_OK);
  EXPECT_EQ(upper, -1);

  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);

  // Element types without a fixed size, and more than one dimension, are refused.
  EXPECT_EQ(SafeArrayCreateVector(VT_BSTR, 0, 1), nullptr);
  SAFEARRAYBOUND two[2] = {{1, 0}, {1, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 2, two), nullptr);
  // A size that does not fit is refused rather than wrapped.
  EXPECT_EQ(SafeArrayCreateVector(VT_DECIMAL, 0, 0xFFFFFFFFu), nullptr);
}

namespace {

class counted : public com_object<IUnknown> {
 public:
  explicit counted(int* alive) : alive_(alive) { ++*alive_; }
  ~counted() override { --*alive_; }

 protected:
  bool query_self(REFIID) const override { return false; }

 private:
  int* alive_;
};

}  // namespace

TEST(Variant, CopyIsDeepAndClearFreesWhatTheValueOwns) {
  VARIANT text;
  VariantInit(&text);
  EXPECT_EQ(text.vt, VT_EMPTY);
  text.vt = VT_BSTR;
  text.bstrVal = bstr_from(L"value");

  VARIANT copy;
  VariantInit(&copy);
  copy.vt = VT_BSTR;
  copy.bstrVal = bstr_from(L"old");  // freed by the copy
  ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
  EXPECT_NE(copy.bstrVal, text.bstrVal);
  EXPECT_EQ(bstr_text(copy.bstrVal), L"value");
  EXPECT_EQ(VariantCopy(&copy, &copy), S_OK);
  EXPECT_EQ(bstr_text(copy.bstrVal), L"value");

  VARIANT bytes;
  VariantInit(&bytes);
  bytes.vt = VT_ARRAY | VT_UI1;
  bytes.parray = SafeArrayCreateVector(VT_UI1, 0, 2);
  ASSERT_EQ(VariantCopy(&copy, &bytes), S_OK);
  EXPECT_EQ(copy.vt, VT_ARRAY | VT_UI1);
  EXPECT_NE(copy.parray, bytes.parray);

  VARIANT dec;
  VariantInit(&dec);
  dec.decVal = DECIMAL{0, 2, DECIMAL_NEG, 1, 5};
  dec.vt = VT_DECIMAL;
  ASSERT_EQ(VariantCopy(&copy, &dec), S_OK);
  EXPECT_EQ(copy.vt, VT_DECIMAL);
  EXPECT_EQ(copy.decVal.Lo64, 5u);
  EXPECT_EQ(copy.decVal.Hi32, 1u);
  EXPECT_EQ(copy.decVal.scale, 2);
  EXPECT_EQ(copy.decVal.sign, DECIMAL_NEG);

  int alive = 0;
  VARIANT object;
  VariantInit(&object);
  object.vt = VT_UNKNOWN;
  object.punkVal = new counted(&alive);
  ASSERT_EQ(VariantCopy(&copy, &object), S_OK);
  EXPECT_EQ(VariantClear(&object), S_OK);
  EXPECT_EQ(alive, 1);
  EXPECT_EQ(VariantClear(&copy), S_OK);
  EXPECT_EQ(alive, 0);
  EXPECT_EQ(copy.vt, VT_EMPTY);

  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 0x0FFF;
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantCopy(&copy, &bad), DISP_E_BADVARTYPE);

  EXPECT_EQ(VariantClear(&text), S_OK);
  EXPECT_EQ(VariantClear(&bytes), S_OK);
  EXPECT_EQ(VariantClear(&dec), S_OK);
}

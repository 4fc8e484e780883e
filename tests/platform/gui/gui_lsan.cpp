// The toolkit and the libraries under it keep caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libgtk-3\nleak:libgdk-3\nleak:libglib-2.0\nleak:libgobject-2.0\nleak:libgio-2.0\n"
         "leak:libfontconfig\nleak:libpango\nleak:libcairo\nleak:libharfbuzz\nleak:libX11\n"
         "leak:libatk\nleak:libatspi\nleak:libdbus\nleak:libwx_\nleak:libgdk_pixbuf\n"
         "leak:libxkbcommon\nleak:libepoxy\nleak:libfreetype\n";
}

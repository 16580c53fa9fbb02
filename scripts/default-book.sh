# Sourced by the set-up scripts: the default opening book, built from the polyglot book of
# Debian's gnuchess-book package.
#   default_book_source          prints the installed book.bin (nothing when not installed)
#   build_default_book BUILD     builds BUILD/skarne.boo with BUILD/skarne-book when the book
#                                is missing or older than the tool
#   build_engine_with_book       Release build of the engine and the book tool in build/, then
#                                the default book
default_book_plies=20

default_book_source() {
  local file
  for file in $(dpkg -L gnuchess-book 2>/dev/null | grep '/book\.bin$' || true); do
    if [ -f "$file" ]; then echo "$file"; return 0; fi
  done
}

build_default_book() {
  local book="$1/skarne.boo" tool="$1/skarne-book" polyglot_book
  if [ -f "$book" ] && [ "$book" -nt "$tool" ]; then return 0; fi
  polyglot_book=$(default_book_source)
  if [ -z "$polyglot_book" ]; then
    echo "gnuchess-book's book.bin is not installed: cannot build $book" >&2
    return 1
  fi
  echo "Building $book from $polyglot_book ($default_book_plies plies)"
  "$tool" build --max-ply "$default_book_plies" -o "$book" "$polyglot_book"
}

build_engine_with_book() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build --target skarne skarne-book -j"$(nproc)"
  build_default_book build
}

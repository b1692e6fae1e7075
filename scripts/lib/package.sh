# Sourced by scripts/package and the package test: makes the SDK zip of the user-interface
# team from a built build folder. Expects: root (the checkout), build (the build folder).

corvane_package_version() {
  sed -n 's/^project(CorvaneCore VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt"
}

# The headers the public interface reaches, as a host's compiler finds them from Core.h: the
# library's public ones (include/corvane) and Boost's. Fails when one of the library's own
# internal headers (src/) is reached: the public headers must stand on their own.
corvane_package_headers() {
  local headers
  headers=$(x86_64-w64-mingw32-g++-posix -std=c++17 -M \
    -I"$root/include/corvane" -I"$build/boost-include" "$root/include/corvane/Core.h" |
    tr ' \\' '\n\n' | grep -E "^($root/include/corvane|$root/src|$build/boost-include)/" | sort -u)
  if grep -q "^$root/src/" <<<"$headers"; then
    echo "internal headers reached from Core.h:" >&2
    grep "^$root/src/" <<<"$headers" >&2
    return 1
  fi
  echo "$headers"
}

# corvane_package_stage DIR: lays the package out in DIR (made afresh).
corvane_package_stage() {
  local dir=$1 version headers header target licences=/usr/share/doc
  version=$(corvane_package_version)
  rm -rf "$dir"
  mkdir -p "$dir/bin" "$dir/lib/cmake/CorvaneCore" "$dir/include" "$dir/licences"
  # Without the debug information of the RelWithDebInfo build, which stays in build/bin.
  x86_64-w64-mingw32-strip --strip-debug -o "$dir/bin/Core.dll" "$build/bin/Core.dll"
  x86_64-w64-mingw32-strip --strip-debug -o "$dir/bin/BmpToAvi.dll" "$build/bin/BmpToAvi.dll"
  cp "$(find "$build" -name libCore.dll.a -print -quit)" "$dir/lib/"
  headers=$(corvane_package_headers)
  while read -r header; do
    case $header in
      "$root/include/"*) target=$dir/include/${header#"$root/include/"} ;;
      *) target=$dir/include/${header#"$build/boost-include/"} ;;
    esac
    mkdir -p "$(dirname "$target")"
    cp -L "$header" "$target"
  done <<<"$headers"
  for file in CorvaneCoreConfig.cmake CorvaneCoreConfigVersion.cmake; do
    sed "s/@VERSION@/$version/g" "$root/cmake/package/$file" >"$dir/lib/cmake/CorvaneCore/$file"
  done
  cp "$root/cmake/package/README.md" "$dir/README.md"
  cp "$licences/libz-mingw-w64/copyright" "$dir/licences/zlib.txt"
  cp "$(ls -d "$licences"/libboost1.*-dev | head -n 1)/copyright" "$dir/licences/boost.txt"
  cp "$licences/gcc-mingw-w64-base/copyright" "$dir/licences/gcc-runtime.txt"
  cp "$licences/mingw-w64-common/copyright" "$dir/licences/mingw-w64.txt"
}

# corvane_package ZIP: stages the package beside ZIP and zips it as CorvaneCore-<version>/.
corvane_package() {
  local zip=$1 name work
  name=CorvaneCore-$(corvane_package_version)
  work=$(dirname "$zip")/package-stage
  corvane_package_stage "$work/$name"
  rm -f "$zip"
  (cd "$work" && cmake -E tar cf "$zip" --format=zip "$name")
  rm -rf "$work"
}

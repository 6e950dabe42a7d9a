# The application's icon from the maker logo: the logo's mark (its left 42 x 42 units, the ring
# with the three bands) on the editor's dark background, as a square SVG.
#   cmake -DLOGO=kestrilab_logo.svg -DOUTPUT=coral-sieve.svg -P MakeIcon.cmake
file(READ ${LOGO} logo)
string(REGEX REPLACE "^.*<svg[^>]*>" "" mark "${logo}")
string(REGEX REPLACE "</svg>.*$" "" mark "${mark}")
file(WRITE ${OUTPUT}
  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"48\" viewBox=\"0 0 48 48\">\n"
  "  <defs><linearGradient id=\"back\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">\n"
  "    <stop offset=\"0\" stop-color=\"#232c31\"/><stop offset=\"1\" stop-color=\"#11181d\"/>\n"
  "  </linearGradient></defs>\n"
  "  <rect x=\"1\" y=\"1\" width=\"46\" height=\"46\" rx=\"9\" fill=\"url(#back)\"/>\n"
  "  <svg x=\"1\" y=\"1\" width=\"46\" height=\"46\" viewBox=\"0 0 42 42\">${mark}</svg>\n"
  "</svg>\n")

// Plane grid back to latitude/longitude, as the navigator's own LatLonToGrid
// (with its 3.141592/180 factor) would have to be undone: Newton's method on that
// function, so that LatLonToGrid(GridToLatLon(n, e)) gives n, e back to 0.1 mm.
// Metres in, decimal degrees out (north and east positive). Pure.
#pragma once

// Writes the latitude through the FIRST output and the longitude through the
// second, like LatLonToGrid writes the northing first. Returns 1 when the
// iteration met the position, 0 when it did not (then both outputs are NaN).
int GridToLatLon(double northing, double easting, double* latitude, double* longitude);

// Keeps the library non-empty before the first front-end source lands.

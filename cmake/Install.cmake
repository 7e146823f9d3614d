# Installing and packaging: filled in with the install tree and the Debian package.

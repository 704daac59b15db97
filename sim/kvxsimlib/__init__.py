"""KVX controller simulator: the controller's side of the wire, file system and TCL interpreter."""

# Start-up of the interpreter alone.

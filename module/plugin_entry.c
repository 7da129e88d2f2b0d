/* The plug-in file is linked from the core library; `_mod_descrip` is pulled in by the
   linker and is the only symbol it exports. */

;;; 50marquill.el --- Marquill's commands in every Emacs  -*- lexical-binding: t -*-

;;; Commentary:

;; Debian's Emacs loads the files of /etc/emacs/site-start.d at start-up.
;; This one defines the commands of marquill.el; the library itself is
;; loaded on their first use.

;;; Code:

(load "marquill-autoloads" t t)

;;; 50marquill.el ends here

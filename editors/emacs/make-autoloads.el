;;; make-autoloads.el --- Writes marquill-autoloads.el from marquill.el's cookies  -*- lexical-binding: t -*-

;;; Commentary:

;; Run at build time as
;;   emacs -Q --batch -l make-autoloads.el SOURCE OUTPUT
;; Each form after a ";;;###autoload" cookie becomes what `make-autoload'
;; makes of it, so that loading OUTPUT defines the commands and the first
;; use loads marquill.el from `load-path'.  The output holds no time or
;; path, so the same source gives the same bytes.

;;; Code:

(require 'autoload)

(defun marquill-make-autoloads (source output)
  "Write the autoloads of the cookies in SOURCE to OUTPUT."
  (let ((forms nil))
    (with-temp-buffer
      (insert-file-contents source)
      (goto-char (point-min))
      (while (re-search-forward "^;;;###autoload\n" nil t)
        (let ((form (read (current-buffer))))
          ;; A form that defines nothing is copied as it is.
          (push (or (make-autoload form "marquill") form) forms))))
    (with-temp-file output
      (insert ";;; marquill-autoloads.el --- The commands of marquill.el, "
              "loaded on first use  -*- lexical-binding: t -*-\n\n;;; Code:\n\n")
      (let ((print-escape-newlines nil) (print-quoted t) (print-length nil) (print-level nil))
        (dolist (form (nreverse forms))
          (prin1 form (current-buffer))
          (insert "\n\n")))
      (insert "(provide 'marquill-autoloads)\n;;; marquill-autoloads.el ends here\n"))))

(apply #'marquill-make-autoloads command-line-args-left)
(setq command-line-args-left nil)

;;; make-autoloads.el ends here

;;; languages.el --- What marquill.el shows in each situation  -*- lexical-binding: t -*-

;;; Commentary:

;; Runs the situations of a table with marquill.el as the package installs
;; it and records every prompt, every choice offered, every message and
;; error and the menu bar's titles, as JSON {situation: text} in
;; $MARQUILL_RESULTS; editors_test.py checks the language of each.

;;; Code:

(require 'marquill)
(require 'json)
(require 'cl-lib)

(defvar languages-shown nil "The texts shown in the situation being run.")

(defun languages-record (&rest texts)
  "Keep TEXTS as shown."
  (dolist (text texts)
    (when (stringp text)
      (push text languages-shown))))

(defun languages-run (settings answers thunk)
  "Call THUNK with SETTINGS as the settings file; the texts it shows.
ANSWERS are what the prompts get in turn: t the first choice offered,
\"\" (or none left) cancels."
  (setq languages-shown nil)
  (with-temp-buffer
    (insert "a\nb\n")
    (goto-char (point-min))
    (let ((marquill-settings-file settings)
          (marquill-starter-file nil))
      (cl-letf (((symbol-function 'completing-read)
                 (lambda (prompt collection &rest _)
                   (let ((choices (all-completions "" collection))
                         (answer (or (pop answers) "")))
                     (apply #'languages-record prompt choices)
                     (if (eq answer t) (car choices) answer))))
                ((symbol-function 'y-or-n-p)
                 (lambda (prompt) (languages-record prompt) nil))
                ((symbol-function 'read-string)
                 (lambda (prompt &rest _) (languages-record prompt) ""))
                ((symbol-function 'message)
                 (lambda (format &rest args) (when format (languages-record (apply #'format format args))))))
        (condition-case failure
            (funcall thunk)
          (error (languages-record (error-message-string failure)))
          (quit nil)))))
  (mapconcat #'identity (nreverse languages-shown) "\n"))

(defun languages-main ()
  "Run every situation and write what each showed."
  (let* ((work (getenv "MARQUILL_WORK"))
         (good (getenv "MARQUILL_SETTINGS_FILE"))
         (missing (getenv "MARQUILL_MISSING"))
         (situations
          `(("menu" ,good nil ,(lambda () (call-interactively #'marquill)))
            ("submenu" ,good (t) ,(lambda () (call-interactively #'marquill)))
            ("entry picker" ,good nil ,(lambda () (call-interactively #'marquill-insert)))
            ("delete picker" ,good nil ,(lambda () (call-interactively #'marquill-delete)))
            ("at the first character" ,good nil ,(lambda () (call-interactively #'marquill-insert-at-char)))
            ("no settings file" ,missing nil
             ,(lambda () (marquill-filter-region (point-min) (point-max) '("insert" "--entry" "1"))))
            ("create the settings" ,missing nil ,(lambda () (marquill-edit-settings)))
            ("block comments only" ,good nil
             ,(lambda () (setq-local comment-start "/* ") (setq-local comment-end " */")
                (setq major-mode 'css-mode) (marquill-toggle (point-min) (point-max))))
            ("bad entry" ,good nil
             ,(lambda () (marquill-filter-region (point-min) (point-max) '("insert" "--entry" "no-such-entry"))))
            ("filter error" ,good nil
             ,(lambda () (marquill-filter-region (point-min) (point-max) '("insert" "--lines" "sideways" "-e" "x"))))
            ("no program" ,good nil
             ,(lambda () (let ((marquill-program (expand-file-name "no-such-program" work)))
                           (marquill-filter-region (point-min) (point-max) '("insert" "-e" "x")))))))
         (shown nil))
    (dolist (situation situations)
      (push (cons (car situation) (apply #'languages-run (cdr situation))) shown))
    (let ((titles nil))
      (map-keymap (lambda (_key binding)
                    (when (eq (car-safe binding) 'menu-item)
                      (push (nth 1 binding) titles)))
                  marquill-command-map)
      (push (cons "menu bar" (mapconcat #'identity titles "\n")) shown))
    (let ((coding-system-for-write 'utf-8))
      (with-temp-file (getenv "MARQUILL_RESULTS")
        (insert (json-encode (nreverse shown)))))))

(languages-main)

;;; languages.el ends here

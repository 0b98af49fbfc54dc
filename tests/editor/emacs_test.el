;;; emacs_test.el --- a branding layout and a pom.xml in Emacs with eglot and the installed file

(require 'branding-package)
(setq eglot-sync-connect 5)
;; On by default in an interactive Emacs, off in batch: a region is seen only with it.
(transient-mark-mode 1)
(defun bp-say (format-string &rest args)
  (princ (concat (apply #'format format-string args) "\n")))
(find-file "layout.xml")
;; eglot-ensure starts the server after the command that opened the file.
(run-hooks 'post-command-hook)
(let ((tries 0))
  (while (and (< tries 100) (not (flymake-diagnostics)))
    (accept-process-output nil 0.1)
    (setq tries (1+ tries))))
(bp-say "layout managed %s" (if (eglot-current-server) "yes" "no"))
(dolist (d (flymake-diagnostics))
  (bp-say "diagnostic %s" (flymake-diagnostic-text d)))
;; The quit-item fix, chosen from the menu as a person would: its placeholder is selected.
(goto-char (point-min))
(search-forward "<toolbar-menu")
(cl-letf ((last-nonmenu-event ?\r)
          ((symbol-function 'completing-read)
           (lambda (&rest _) "Add the missing quit-item")))
  (eglot-code-actions (point) (point) nil t))
(bp-say "selected %s" (if (region-active-p)
                          (buffer-substring (region-beginning) (region-end))
                        "nothing"))
(find-file "other/pom.xml")
(run-hooks 'post-command-hook)
(accept-process-output nil 0.5)
(bp-say "pom managed %s" (if (eglot-current-server) "yes" "no"))
(kill-emacs 0)
;;; emacs_test.el ends here

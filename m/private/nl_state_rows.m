function [S, width, appended] = nl_state_rows(ndof, first, k, what)
% S(i,:) * u = u(first + i - 1): the rows that read k internal states back,
% over u of width entries.  first = [] appends the states after the ndof
% DOFs (width = ndof + k, appended = true): newmark_setup then gives them
% DOFs of their own.
  appended = isempty(first);
  if appended
    first = ndof + 1;
    width = ndof + k;
  else
    width = ndof;
    if ~isscalar(first) || first ~= fix(first) || first < 2 || first + k - 1 > ndof
      error('VRK:spardyn:Invalid', ['%s: the %d states need positions first … ' ...
            'first+%d within 2 … %d of u (or first = [] to append them)'], ...
            what, k, k - 1, ndof);
    end
  end
  S = sparse(1:k, first + (0:k - 1), 1, k, width);
end
